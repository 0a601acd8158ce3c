// Writes N log lines of a realistic conversation through the exit-flow writer into DIR and prints
// "records=N seconds=S bytes=B file=PATH". Making the lines is not timed.

#include "benchconversation.h"
#include "history/core/logwriter.h"
#include "widgets/errortext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>

#include <cstdio>

using namespace Qt::StringLiterals;

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
    QRandomGenerator random(18102002);
    QDateTime start(QDate(2002, 10, 18), QTime(9, 0, 0));
    const QList<common::LogLine> lines = bench::conversation(count, random, start);
    const QDateTime now = QDateTime::currentDateTime();

    const double cpuBefore = bench::cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const history::core::LogWriteResult result = history::core::writeLog(lines, now, args.at(2));
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const double cpu = bench::cpuSeconds() - cpuBefore;
    if (result.failed()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(result.path), qPrintable(widgets::errorText(result.status)));
        return 1;
    }
    std::printf("records=%lld seconds=%.3f cpu_seconds=%.3f bytes=%lld file=%s\n", static_cast<long long>(count),
                seconds, cpu, static_cast<long long>(QFileInfo(result.path).size()), qPrintable(result.path));
    return 0;
}
