#pragma once

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>

namespace check {

/**
 * Runs @p work on a thread of its own and hands its result to @p done on @p context's thread;
 * @p done is not called when @p context is destroyed first. For the few parts of the check that
 * block (reading /proc, asking D-Bus, running nft), each bounded in time by itself: the thread
 * ends by itself, and its object goes once it has.
 */
template<typename Result>
void runOnWorker(QObject* context, std::function<Result()> work, std::function<void(const Result&)> done)
{
    auto result = std::make_shared<std::optional<Result>>();
    QThread* thread = QThread::create([result, work = std::move(work)] { result->emplace(work()); });
    QObject::connect(thread, &QThread::finished, context, [result, done = std::move(done)] {
        if (*result)
            done(**result);
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

} // namespace check
