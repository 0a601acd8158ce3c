// Writes a year of daily logs (365 files, 200,000 records, about 16 MB) into DIR (a new temporary
// folder when none is given), then searches them three times for each keyword the way the search
// window does, and times `LC_ALL=C grep -c -F` with the keyword's code page 932 bytes over the same
// files beside it. Prints one line per run:
//   keyword=K run=N search_seconds=S search_cpu_seconds=C hits=H grep_seconds=G grep_lines=L ratio=S/G check=ok
// check says whether the search found what it must: the lines grep counts, and the records the
// generator wrote with the keyword's half-width or full-width form, which grep cannot see.

#include "benchconversation.h"
#include "common/cp932codec.h"
#include "history/core/foldersearch.h"
#include "history/core/logwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int Days = 365;
constexpr qsizetype Records = 200000;

/// A keyword, and the form of it that the generator writes into some messages besides.
struct Keyword
{
    QString text;
    QString variant;           ///< another width or case: the search must find it, grep cannot
    int every = 0;             ///< the keyword goes into every n-th message
    int variantEvery = 0;      ///< the variant into every n-th message (0: never)
    qsizetype variantOnly = 0; ///< records written with the variant and not the keyword
};

// One log per day, each written at the end of its day's conversation, as the program names them.
qsizetype writeYear(const QString& folder, QList<Keyword>& keywords)
{
    QRandomGenerator random(20250101);
    qsizetype written = 0;
    qsizetype bytes = 0;
    for (int day = 0; day < Days; ++day) {
        const qsizetype count = (Records * (day + 1)) / Days - (Records * day) / Days;
        QDateTime when(QDate(2025, 1, 1).addDays(day), QTime(9, 0, 0));
        QList<common::LogLine> lines = bench::conversation(count, random, when);
        for (common::LogLine& line : lines) {
            const qsizetype index = written++;
            for (Keyword& keyword : keywords) {
                const bool plain = index % keyword.every == 0;
                if (plain)
                    line.message += u' ' + keyword.text;
                if (keyword.variantEvery > 0 && index % keyword.variantEvery == 1) {
                    line.message += u' ' + keyword.variant;
                    keyword.variantOnly += plain ? 0 : 1;
                }
            }
        }
        const history::core::LogWriteResult result = history::core::writeLog(lines, when, folder);
        if (result.failed())
            return -1;
        bytes += QFileInfo(result.path).size();
    }
    return bytes;
}

struct Run
{
    double seconds = 0;
    double cpu = 0;
    qsizetype hits = 0;
};

Run search(const QString& folder, const QString& keyword)
{
    history::core::FolderSearch search;
    Run run;
    QObject::connect(&search, &history::core::FolderSearch::finished, &search,
                     [&run](const history::core::SearchSummary& summary) { run.hits = summary.hits; });
    const double cpuBefore = bench::cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    search.start(folder, {keyword, {}, {}});
    while (search.isRunning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.cpu = bench::cpuSeconds() - cpuBefore;
    return run;
}

// grep over the same files, counting the lines that hold the keyword's bytes: the sum of its counts.
// The keyword's code page 932 bytes reach grep through a file, as an argument would be made UTF-8.
Run grep(const QString& folder, const QString& keyword, const QString& patternFile)
{
    QFile pattern(patternFile);
    if (!pattern.open(QIODevice::WriteOnly) || pattern.write(common::cp932::encode(keyword).bytes + '\n') < 0)
        return {};
    pattern.close();
    QStringList arguments = {u"-c"_s, u"-F"_s, u"-f"_s, patternFile};
    const QStringList names = QDir(folder).entryList({u"*.txt"_s}, QDir::Files, QDir::Name);
    for (const QString& name : names)
        arguments << QDir(folder).filePath(name);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_s, u"C"_s);
    process.setProcessEnvironment(environment);
    Run run;
    const double cpuBefore = bench::cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    process.start(u"grep"_s, arguments);
    process.waitForFinished(-1);
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.cpu = bench::cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const qsizetype colon = line.lastIndexOf(':');
        if (colon >= 0)
            run.hits += line.mid(colon + 1).toLongLong();
    }
    return run;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? app.arguments().at(1) : temporary.filePath(u"log"_s);
    // The ASCII keyword goes in as it is only, so the search must count exactly grep's lines.
    // The others also in half-width katakana, which grep cannot see: a common keyword and a rare one.
    QList<Keyword> keywords = {{u"backup"_s, {}, 37, 0, 0},
                               {u"テスト"_s, u"ﾃｽﾄ"_s, 23, 41, 0},
                               {u"ミーティング"_s, u"ﾐｰﾃｨﾝｸﾞ"_s, 499, 997, 0}};
    const qsizetype bytes = writeYear(folder, keywords);
    if (bytes < 0) {
        std::fprintf(stderr, "bench_log_search: cannot write the logs into %s\n", qPrintable(folder));
        return 1;
    }
    std::printf("files=%d records=%lld bytes=%lld folder=%s\n", Days, static_cast<long long>(Records),
                static_cast<long long>(bytes), qPrintable(folder));
    bool allFound = true;
    for (const Keyword& keyword : std::as_const(keywords)) {
        for (int number = 1; number <= 3; ++number) {
            const Run found = search(folder, keyword.text);
            const Run counted = grep(folder, keyword.text, temporary.filePath(u"pattern"_s));
            const bool ok = found.hits == counted.hits + keyword.variantOnly;
            allFound = allFound && ok;
            std::printf("keyword=%s run=%d search_seconds=%.4f search_cpu_seconds=%.4f hits=%lld grep_seconds=%.4f "
                        "grep_cpu_seconds=%.4f grep_lines=%lld ratio=%.2f check=%s\n",
                        qPrintable(keyword.text), number, found.seconds, found.cpu, static_cast<long long>(found.hits),
                        counted.seconds, counted.cpu, static_cast<long long>(counted.hits),
                        found.seconds / counted.seconds, ok ? "ok" : "FAILED");
        }
    }
    return allFound ? 0 : 1;
}
