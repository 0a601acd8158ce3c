#include "history/core/logwriter.h"

#include "chat/core/messagelines.h"
#include "history/core/journal.h"
#include "history/core/logreader.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using common::LogLine;
using history::core::LogWriteResult;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QDateTime ExitTime(QDate(2003, 3, 5), QTime(7, 4, 9));

// Runs @p work in a child process that then dies without any clean-up, as a crash or a kill would.
template<typename F> bool inDyingChild(F&& work)
{
    const pid_t child = ::fork();
    if (child == 0) {
        work();
        ::_exit(0);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status);
}

QStringList hiddenFiles(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class TestLogWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileStem_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("stem");
        QTest::newRow("morning") << ExitTime << u"20030305070409"_s;
        QTest::newRow("evening") << QDateTime(QDate(2002, 10, 18), QTime(21, 15, 0)) << u"20021018211500"_s;
        QTest::newRow("midnight") << QDateTime(QDate(2002, 12, 31), QTime(0, 0, 0)) << u"20021231000000"_s;
        QTest::newRow("three-digit year") << QDateTime(QDate(999, 1, 2), QTime(3, 4, 5)) << u"9990102030405"_s;
    }
    void fileStem()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, stem);
        QCOMPARE(history::core::logFileStem(when), stem);
    }

    void recordBytes_data()
    {
        QTest::addColumn<LogLine>("line");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("sent") << LogLine{u"PCA"_s, u"PCB"_s, u"hi"_s, u"2002/10/18 9:05:03"_s}
                              << QByteArray("\"PCA\",\"PCB\",\"hi\",\"2002/10/18 9:05:03\"\r\n");
        QTest::newRow("received, code page 932")
            << LogLine{u"PCA"_s, u"PCB"_s, u"相手>ab,cd"_s, u"2002/10/18 9:05:03"_s}
            << QByteArray("\"PCA\",\"PCB\",\"\x91\x8a\x8e\xe8>ab,cd\",\"2002/10/18 9:05:03\"\r\n");
        QTest::newRow("empty fields") << LogLine{} << QByteArray("\"\",\"\",\"\",\"\"\r\n");
        QTest::newRow("quotes and line breaks unescaped")
            << LogLine{u"A"_s, u"B"_s, u"say \"x\"\r\nok"_s, u"2002/10/18"_s}
            << QByteArray("\"A\",\"B\",\"say \"x\"\r\nok\",\"2002/10/18\"\r\n");
        QTest::newRow("no code page 932 form") << LogLine{u"A"_s, u"B"_s, u"a\uFFFDb\U0001F600c"_s, u"T"_s}
                                               << QByteArray("\"A\",\"B\",\"a?b?c\",\"T\"\r\n");
    }
    void recordBytes()
    {
        QFETCH(LogLine, line);
        QFETCH(QByteArray, bytes);
        QCOMPARE(history::core::encodeLog({line}), bytes);
        QCOMPARE(history::core::encodeLog({line, line}), bytes + bytes);
    }

    void writesNewFileInMissingFolder()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"log"_s);
        const QList<LogLine> lines = {{u"PCA"_s, u"PCB"_s, u"hello"_s, u"2003/03/05 7:04:09"_s},
                                      {u"PCB"_s, u"PCA"_s, u"相手>やあ"_s, u"2003/03/05 7:04:10"_s}};
        const LogWriteResult result = history::core::writeLog(lines, ExitTime, folder);
        QVERIFY(result.written());
        QCOMPARE(result.path, QDir(folder).filePath(u"20030305070409.txt"_s));
        QCOMPARE(readAll(result.path), history::core::encodeLog(lines));
        // Nothing but the log itself is left in the folder: the temporary file was renamed.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"20030305070409.txt"_s});
    }

    void neverReplacesAnExistingLog()
    {
        QTemporaryDir dir;
        const QString folder = dir.path();
        QStringList paths;
        for (int i = 1; i <= 3; ++i) {
            const LogWriteResult result =
                history::core::writeLog({{u"A"_s, u"B"_s, QString::number(i), u"T"_s}}, ExitTime, folder);
            QVERIFY(result.written());
            paths << QFileInfo(result.path).fileName();
        }
        QCOMPARE(paths, (QStringList{u"20030305070409.txt"_s, u"20030305070409_2.txt"_s, u"20030305070409_3.txt"_s}));
        QCOMPARE(readAll(dir.filePath(u"20030305070409.txt"_s)), QByteArray("\"A\",\"B\",\"1\",\"T\"\r\n"));
        QCOMPARE(readAll(dir.filePath(u"20030305070409_3.txt"_s)), QByteArray("\"A\",\"B\",\"3\",\"T\"\r\n"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    void removesTempFilesOfKilledWrites()
    {
        QTemporaryDir dir;
        const pid_t dead = ::fork();
        if (dead == 0)
            ::_exit(0);
        ::waitpid(dead, nullptr, 0);
        const auto temp = [&](qint64 pid) {
            const QString name = u".tavik-log-%1-00000000deadbeef.tmp"_s.arg(pid);
            QFile file(dir.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write("\"A\",\"B\",\"half") > 0 ? name : QString();
        };
        const QString killed = temp(dead);
        const QString running = temp(::getppid()); // a write still going on in another process
        QVERIFY(!killed.isEmpty() && !running.isEmpty());
        QVERIFY(history::core::writeLog({{u"A"_s, u"B"_s, u"x"_s, u"T"_s}}, ExitTime, dir.path()).written());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{running, u"20030305070409.txt"_s}));
    }

    // The exit writes the log whenever the run has a log line, a received one too; a run without
    // any line leaves no empty file behind.
    void writtenWhenAnyLine()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"log"_s);
        history::core::Journal journal(folder);
        const LogWriteResult none = journal.saveAsLog({}, ExitTime);
        QVERIFY(!none.written() && !none.failed());
        QVERIFY(!QFileInfo::exists(folder));

        journal.append({u"B"_s, u"A"_s, u"相手>x"_s, u"T"_s});
        const LogWriteResult received = journal.saveAsLog({}, ExitTime);
        QVERIFY(received.written());
        QCOMPARE(QFileInfo(received.path).fileName(), u"20030305070409.txt"_s);
        QCOMPARE(readAll(received.path), QByteArray("\"B\",\"A\",\"\x91\x8a\x8e\xe8>x\",\"T\"\r\n"));
    }

    void failsWhenFolderIsAFile()
    {
        // Root ignores permissions, so a file where the folder should be stands for an unwritable folder.
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"log"_s);
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const LogWriteResult result = history::core::writeLog({{u"A"_s, u"B"_s, u"x"_s, u"T"_s}}, ExitTime, folder);
        QVERIFY(result.failed());
        QCOMPARE(result.path, dir.filePath(u"log/20030305070409.txt"_s));
        QCOMPARE(result.status, common::Status::fromErrno(ENOTDIR, result.path));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList{u"log"_s});
    }

    // The conversation survives the death of the program: each line is in the journal once it is
    // made, and the next start turns the orphaned journal into a log file of all of them.
    void journalRecoveredAfterDeath()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"log"_s);
        const QList<LogLine> lines = {{u"PCA"_s, u"PCB"_s, u"hello, \"you\""_s, u"2003/03/05 7:04:09"_s},
                                      {u"PCB"_s, u"PCA"_s, u"相手>やあ"_s, u"2003/03/05 7:04:10"_s}};
        {
            history::core::Journal unused(folder); // a run without log lines leaves nothing
        }
        QVERIFY(!QFileInfo::exists(folder));

        QVERIFY(inDyingChild([&] {
            history::core::Journal journal(folder);
            for (const LogLine& line : lines)
                journal.append(line);
        }));
        // A second run died while writing its third record: the torn record is left out.
        QVERIFY(inDyingChild([&] {
            history::core::Journal journal(folder);
            journal.append(lines.at(0));
            QFile torn(journal.path());
            if (torn.open(QIODevice::Append))
                torn.write("\"PCA\",\"PCB\",\"cut \r");
        }));
        history::core::Journal running(folder); // this process's own journal is not touched
        running.append(lines.at(1));
        QCOMPARE(hiddenFiles(folder).size(), 3);

        const QList<history::core::RecoveredJournal> recovered = history::core::recoverJournals(folder);
        QCOMPARE(recovered.size(), 2);
        QByteArrayList logs;
        for (const history::core::RecoveredJournal& journal : recovered) {
            QVERIFY2(journal.status.isOk(), qPrintable(journal.status.detail()));
            QVERIFY(QFileInfo(journal.logPath).fileName().contains(QRegularExpression(u"^\\d{14}(_\\d+)?\\.txt$"_s)));
            logs << readAll(journal.logPath);
        }
        std::sort(logs.begin(), logs.end());
        QCOMPARE(logs, (QByteArrayList{history::core::encodeLog({lines.at(0)}), history::core::encodeLog(lines)}));
        QCOMPARE(hiddenFiles(folder).filter(u".tavik-journal-"_s), QStringList{QFileInfo(running.path()).fileName()});
        QVERIFY(history::core::recoverJournals(folder).isEmpty());

        // The exit's log is the journal renamed into place: every line, also those no longer in memory.
        running.append(lines.at(0));
        const LogWriteResult saved = running.saveAsLog({lines.at(0)}, ExitTime);
        QVERIFY(saved.written());
        QCOMPARE(QFileInfo(saved.path).fileName(), u"20030305070409.txt"_s);
        QCOMPARE(readAll(saved.path), history::core::encodeLog({lines.at(1), lines.at(0)}));
        QCOMPARE(hiddenFiles(folder).filter(u".tavik-journal-"_s), QStringList());

        // A disk that refuses a write part-way (here: a file size limit): the torn record and every
        // later line are kept in memory, and the exit's log still holds every line, in order.
        QTemporaryDir fullDir;
        history::core::Journal full(fullDir.path());
        full.append(lines.at(0));
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit old = {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const rlimit cap{rlim_t(QFileInfo(full.path()).size() + 10), old.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &cap), 0);
        full.append(lines.at(1));
        full.append(lines.at(0));
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &old), 0);
        QCOMPARE(full.unwrittenLines(), 2);
        QCOMPARE(full.status(), common::Status::fromErrno(EFBIG, full.path()));
        const LogWriteResult kept = full.saveAsLog({}, ExitTime);
        QVERIFY(kept.written());
        QCOMPARE(readAll(kept.path), history::core::encodeLog({lines.at(0), lines.at(1), lines.at(0)}));
        QCOMPARE(hiddenFiles(fullDir.path()), QStringList{u"20030305070409.txt"_s});
    }

    void roundTripThroughReader()
    {
        QTemporaryDir dir;
        // A received datagram that holds a record boundary and a whole record after it stays one
        // record, with the true sender, receiver and date-time.
        const QString forging = u"x\",\"2001/01/01 0:00:00\"\r\n\"FORGED-SENDER\",\"victim\",\"forged message"_s;
        const QList<LogLine> lines = {
            {u"PCA"_s, u"PCB"_s, u"a,b \"c\"\nd"_s, u"2003/03/05 7:04:09"_s},
            {u"PCB"_s, u"PCA"_s, u"相手>\r\n,\","_s, u"2003/03/05"_s},
            chat::core::receivedLogLine(u"PCB"_s, u"PCA"_s, forging, u"2003/03/05 7:04:10"_s)};
        QCOMPARE(lines.at(2).message,
                 u"相手>x\",\"2001/01/01 0:00:00\"??\"FORGED-SENDER\",\"victim\",\"forged message"_s);
        const LogWriteResult written = history::core::writeLog(lines, ExitTime, dir.path());
        const history::core::LogReadResult read = history::core::readLogFile(written.path);
        QVERIFY(read.ok());
        QCOMPARE(read.table.rowCount(), lines.size());
        QCOMPARE(read.skippedLines, 0);
        for (int row = 0; row < lines.size(); ++row) {
            const LogLine back{read.table.field(row, 0), read.table.field(row, 1), read.table.field(row, 2),
                               read.table.field(row, 3)};
            QCOMPARE(back, lines.at(row));
        }
    }
};

QTEST_GUILESS_MAIN(TestLogWriter)
#include "tst_logwriter.moc"
