// Writes N log lines of a realistic conversation through the exit-flow writer into DIR and prints
// "records=N seconds=S bytes=B file=PATH". Making the lines is not timed.

#include "history/core/logwriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>

#include <cstdio>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

QList<common::LogLine> conversation(qsizetype count)
{
    const QStringList hosts = {u"PC-SATO"_s, u"DESKTOP-7F3K2Q"_s, u"EIGYO-03"_s, u"KAIHATSU-PC12"_s};
    const QStringList phrases = {
        u"おはようございます。"_s,
        u"了解しました"_s,
        u"会議は10時からです"_s,
        u"資料を送りました、確認してください"_s,
        u"OK"_s,
        u"thanks!"_s,
        u"15:30 meeting room B"_s,
        u"昼ご飯どうしますか？"_s,
        u"ファイルサーバーが落ちています"_s,
        u"See you tomorrow"_s,
        u"少し遅れます"_s,
        u"ver1.3 release OK"_s,
    };
    QRandomGenerator random(18102002);
    QDateTime when(QDate(2002, 10, 18), QTime(9, 0, 0));
    QList<common::LogLine> lines;
    lines.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const bool received = random.bounded(2) == 1;
        QString message = phrases.at(random.bounded(int(phrases.size())));
        if (random.bounded(3) == 0)
            message += u' ' + phrases.at(random.bounded(int(phrases.size())));
        const QString& me = hosts.at(0);
        const QString& partner = hosts.at(1 + random.bounded(3));
        when = when.addSecs(random.bounded(1, 40));
        const QString dateTime = common::dateTimeText(when);
        if (received)
            lines.append({partner, me, u"相手>"_s + message, dateTime});
        else
            lines.append({me, partner, message, dateTime});
    }
    return lines;
}

// CPU time of this process, user and system: other work on the machine does not count in it.
double cpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const qsizetype count = args.size() == 3 ? args.at(1).toLongLong(&ok) : 0;
    if (!ok || count < 0) {
        std::fprintf(stderr, "usage: bench_log_write N DIR\n");
        return 2;
    }
    const QList<common::LogLine> lines = conversation(count);
    const QDateTime now = QDateTime::currentDateTime();

    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const history::core::LogWriteResult result = history::core::writeLogIfSent(
        true, lines, [now] { return now; }, args.at(2));
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    if (result.failed()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(result.path), qPrintable(result.error));
        return 1;
    }
    std::printf("records=%lld seconds=%.3f cpu_seconds=%.3f bytes=%lld file=%s\n", static_cast<long long>(count),
                seconds, cpu, static_cast<long long>(QFileInfo(result.path).size()), qPrintable(result.path));
    return 0;
}
