// Loads FILE into the log viewer (offscreen) the way its load command does, through the same
// reader, model and grid, and prints "records=N skipped=K seconds=S" with the peak memory.

#include "benchconversation.h"
#include "history/core/logtablemodel.h"
#include "history/ui/tavik_log.h"
#include "widgets/filechooser.h"
#include "widgets/prompter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

#include <cstdio>
#include <sys/resource.h>

namespace {

class FixedChooser final : public widgets::FileChooser
{
public:
    explicit FixedChooser(QString path)
        : m_path(std::move(path))
    {}
    QString chooseFileToOpen(QWidget*, const widgets::OpenFileRequest&) override { return m_path; }
    QString chooseFolder(QWidget*, const QString&) override { return {}; } // the load never asks for one

private:
    QString m_path;
};

class ReportingPrompter final : public widgets::Prompter
{
public:
    widgets::PromptAnswer prompt(QWidget*, const widgets::PromptRequest& request) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(request.text));
        failed = true;
        return widgets::PromptAnswer::Ok;
    }
    bool failed = false;
};

double megabytes(long kilobytes)
{
    return double(kilobytes) / 1024.0;
}

long peakRssKb()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        std::fprintf(stderr, "usage: bench_log_load FILE\n");
        return 2;
    }
    const QString path = app.arguments().at(1);
    FixedChooser chooser(path);
    ReportingPrompter prompter;
    history::ui::tavik_log viewer(prompter, chooser);
    viewer.show();
    QCoreApplication::processEvents();
    const long baseline = peakRssKb();

    const double cpuBefore = bench::cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    // The longest time the event loop went without turning while the file loaded: what a
    // datagram arriving meanwhile would wait at most.
    qint64 lastTick = 0;
    qint64 longestBlock = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        const qint64 now = timer.nsecsElapsed();
        longestBlock = std::max(longestBlock, now - lastTick);
        lastTick = now;
    });
    ticker.start();
    viewer.m_load_Click();
    longestBlock = std::max(longestBlock, timer.nsecsElapsed());
    lastTick = timer.nsecsElapsed();
    // The file loads on a worker thread, and a very long one is shown a million rows per turn.
    while (viewer.isLoading() || viewer.model()->isRevealing())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents(); // the grid lays out and paints the new rows
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    longestBlock = std::max(longestBlock, timer.nsecsElapsed() - lastTick);
    const double cpu = bench::cpuSeconds() - cpuBefore;
    if (prompter.failed)
        return 1;

    const long peak = peakRssKb();
    const double fileMb = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
    std::printf(
        "records=%d skipped=%lld seconds=%.3f cpu_seconds=%.3f peak_rss_mb=%.1f before_load_rss_mb=%.1f file_mb=%.1f "
        "longest_block_ms=%.1f\n",
        viewer.model()->rowCount(), static_cast<long long>(viewer.skippedLines()), seconds, cpu, megabytes(peak),
        megabytes(baseline), fileMb, double(longestBlock) / 1e6);
    return 0;
}
