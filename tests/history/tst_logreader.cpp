#include "history/core/logreader.h"

#include "common/cp932codec.h"
#include "history/core/logtablemodel.h"
#include "history/core/logwriter.h"
#include "history/core/oserrortext.h"
#include "support/logmessageforms.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define TAVIK_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVIK_ADDRESS_SANITIZER 1
#endif
#endif

using namespace Qt::StringLiterals;
using Records = QList<QStringList>;

namespace {

Records recordsOf(const history::core::LogTable& table)
{
    Records records;
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        QStringList fields;
        for (int i = 0; i < history::core::LogTable::FieldsPerRecord; ++i)
            fields << table.field(row, i);
        records << fields;
    }
    return records;
}

QString randomText(QRandomGenerator& random, QStringView alphabet, int maxLength)
{
    QString text;
    const int length = random.bounded(maxLength + 1);
    for (int i = 0; i < length; ++i)
        text += alphabet[random.bounded(int(alphabet.size()))];
    return text;
}

// Reads @p path in a child process whose address space is limited to the load budget of the file
// (3 × its size + 64 MiB, the child's own program included) and returns what the load gave:
// "ok <records> <skipped>" or "error <text>"; an abort or a crash gives "died <status>".
QString readUnderAddressLimit(const QString& path)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return u"pipe failed"_s;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        const auto limit = static_cast<rlim_t>(history::core::loadBudget(QFileInfo(path).size()));
        const rlimit cap{limit, limit};
        ::setrlimit(RLIMIT_AS, &cap);
        const history::core::LogReadResult result = history::core::readLogFile(path);
        const QByteArray answer = result.ok() ? "ok " + QByteArray::number(result.table.rowCount()) + ' ' +
                                                    QByteArray::number(result.skippedLines)
                                              : QByteArray("error " + result.error.toUtf8());
        [[maybe_unused]] const auto written = ::write(fds[1], answer.constData(), size_t(answer.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray answer;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return u"died %1"_s.arg(status);
    return QString::fromUtf8(answer);
}

} // namespace

class TestLogReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Records>("records");
        QTest::addColumn<int>("skipped");

        const QStringList rec = {u"PCA"_s, u"PCB"_s, u"hi"_s, u"2002/10/18 9:05:03"_s};
        QTest::newRow("written record") << QByteArray("\"PCA\",\"PCB\",\"hi\",\"2002/10/18 9:05:03\"\r\n")
                                        << Records{rec} << 0;
        QTest::newRow("code page 932") << QByteArray("\"PCA\",\"PCB\",\"\x91\x8a\x8e\xe8>\x95\x5c\",\"T\"\r\n")
                                       << Records{{u"PCA"_s, u"PCB"_s, u"相手>表"_s, u"T"_s}} << 0;
        QTest::newRow("broken two-byte character before a quote")
            << QByteArray("\"A\",\"B\",\"x\x81\",\"T\x81\"\r\n")
            << Records{{u"A"_s, u"B"_s, u"x\uFFFD"_s, u"T\uFFFD"_s}} << 0;
        QTest::newRow("commas in message")
            << QByteArray("\"A\",\"B\",\"a,b,,c\",\"T\"\r\n") << Records{{u"A"_s, u"B"_s, u"a,b,,c"_s, u"T"_s}} << 0;
        QTest::newRow("quotes in message") << QByteArray("\"A\",\"B\",\"say \"hi\"\",\"T\"\r\n")
                                           << Records{{u"A"_s, u"B"_s, u"say \"hi\""_s, u"T"_s}} << 0;
        QTest::newRow("separator in message")
            << QByteArray("\"A\",\"B\",\"x\",\"y\",\"T\"\r\n") << Records{{u"A"_s, u"B"_s, u"x\",\"y"_s, u"T"_s}} << 0;
        QTest::newRow("message ends in quote-comma")
            << QByteArray("\"A\",\"B\",\"x\",\",\"\"\r\n") << Records{{u"A"_s, u"B"_s, u"x\","_s, QString()}} << 0;
        QTest::newRow("LF in message") << QByteArray("\"A\",\"B\",\"l1\nl2\",\"T\"\r\n\"C\",\"D\",\"m\",\"U\"\r\n")
                                       << Records{{u"A"_s, u"B"_s, u"l1\nl2"_s, u"T"_s},
                                                  {u"C"_s, u"D"_s, u"m"_s, u"U"_s}}
                                       << 0;
        QTest::newRow("CR LF and CR in message") << QByteArray("\"A\",\"B\",\"l1\r\n\"l2\r,x\",\"T\"\r\n")
                                                 << Records{{u"A"_s, u"B"_s, u"l1\r\n\"l2\r,x"_s, u"T"_s}} << 0;
        QTest::newRow("quote before line break in message")
            << QByteArray("\"A\",\"B\",\"he said \"x\"\r\n\"ok\",\"T\"\r\n\"C\",\"D\",\"m\",\"U\"\r\n")
            << Records{{u"A"_s, u"B"_s, u"he said \"x\"\r\n\"ok"_s, u"T"_s}, {u"C"_s, u"D"_s, u"m"_s, u"U"_s}} << 0;
        QTest::newRow("message that looks like a record end")
            << QByteArray("\"A\",\"B\",\"x\",\"y\"\r\n\"z\",\"T\"\r\n")
            << Records{{u"A"_s, u"B"_s, u"x\",\"y\"\r\n\"z"_s, u"T"_s}} << 0;
        QTest::newRow("empty fields") << QByteArray("\"\",\"\",\"\",\"\"\r\n")
                                      << Records{{QString(), QString(), QString(), QString()}} << 0;
        QTest::newRow("no final line end")
            << QByteArray("\"A\",\"B\",\"m\",\"T\"") << Records{{u"A"_s, u"B"_s, u"m"_s, u"T"_s}} << 0;
        QTest::newRow("LF line ends") << QByteArray("\"A\",\"B\",\"m\",\"T\"\n\"C\",\"D\",\"n\",\"U\"\n")
                                      << Records{{u"A"_s, u"B"_s, u"m"_s, u"T"_s}, {u"C"_s, u"D"_s, u"n"_s, u"U"_s}}
                                      << 0;
        QTest::newRow("CR line ends") << QByteArray("\"A\",\"B\",\"m\",\"T\"\r\"C\",\"D\",\"n\",\"U\"\r")
                                      << Records{{u"A"_s, u"B"_s, u"m"_s, u"T"_s}, {u"C"_s, u"D"_s, u"n"_s, u"U"_s}}
                                      << 0;
        QTest::newRow("spaces around quoted fields")
            << QByteArray("  \"A\" , \"B\",\"m\", \" T \" \r\n") << Records{{u"A"_s, u"B"_s, u"m"_s, u" T "_s}} << 0;
        QTest::newRow("spaces after a written record")
            << QByteArray("\"A\",\"B\",\"m\",\"T\"  \r\n\"C\",\"D\",\"n\",\"U\"\r\n")
            << Records{{u"A"_s, u"B"_s, u"m"_s, u"T"_s}, {u"C"_s, u"D"_s, u"n"_s, u"U"_s}} << 0;
        QTest::newRow("unquoted fields") << QByteArray("A,B, m ,T\r\n") << Records{{u"A"_s, u"B"_s, u"m "_s, u"T"_s}}
                                         << 0;
        QTest::newRow("unquoted fourth field takes the rest")
            << QByteArray("A,B,m,cd,2002/10/18\r\n") << Records{{u"A"_s, u"B"_s, u"m"_s, u"cd,2002/10/18"_s}} << 0;
        QTest::newRow("stray quote inside unquoted field")
            << QByteArray("A,B\"x,m,T\r\n") << Records{{u"A"_s, u"B\"x"_s, u"m"_s, u"T"_s}} << 0;
        QTest::newRow("blank line between records")
            << QByteArray("\"A\",\"B\",\"m\",\"T\"\r\n\r\n\"C\",\"D\",\"n\",\"U\"\r\n")
            << Records{{u"A"_s, u"B"_s, u"m"_s, u"T"_s}, {u"C"_s, u"D"_s, u"n"_s, u"U"_s}} << 1;
        QTest::newRow("too few fields") << QByteArray("A,B,m\r\n\"A\",\"B\"\r\n") << Records{} << 2;
        QTest::newRow("truncated last record") << QByteArray("\"A\",\"B\",\"m\",\"T\"\r\n\"C\",\"D\",\"tr")
                                               << Records{{u"A"_s, u"B"_s, u"m"_s, u"T"_s}} << 1;
        QTest::newRow("junk line between records")
            << QByteArray("\"A\",\"B\",\"m\",\"T\"\r\n\"junk\r\n\"C\",\"D\",\"n\",\"U\"\r\n")
            << Records{{u"A"_s, u"B"_s, u"m"_s, u"T"_s}, {u"C"_s, u"D"_s, u"n"_s, u"U"_s}} << 1;
        QTest::newRow("binary junk") << QByteArray("\x00\x01\xff\xfe\x81\r\n\x82", 8) << Records{} << 2;
        QTest::newRow("empty file") << QByteArray() << Records{} << 0;
        // The Windows version split a joined line at its third comma: a message's commas went to field 4.
        QTest::newRow("older file, comma in message")
            << QByteArray("\"PCA\",\"PCB\",\"\x91\x8a\x8e\xe8>ab\",\"cd,2002/10/18 9:05:03\"\r\n")
            << Records{{u"PCA"_s, u"PCB"_s, u"相手>ab"_s, u"cd,2002/10/18 9:05:03"_s}} << 0;
        QTest::newRow("older file, comma and quote in message")
            << QByteArray("\"A\",\"B\",\"a\",\"\"b,T\"\r\n") << Records{{u"A"_s, u"B"_s, u"a"_s, u"\"b,T"_s}} << 0;
    }
    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Records, records);
        QFETCH(int, skipped);
        const history::core::LogReadResult result = history::core::parseLog(bytes);
        QVERIFY(result.ok());
        QCOMPARE(recordsOf(result.table), records);
        QCOMPARE(result.skippedLines, skipped);
    }

    void writerRoundTrip()
    {
        QRandomGenerator random(20030305);
        const QString names = u"abcXYZ019-_ あ漢,.\u3000"_s;
        const QString message = u"aあ漢 ,\"\r\n>\u3000x"_s;
        const QString dates = u"0123456789/: ,"_s;
        QList<common::LogLine> lines;
        while (lines.size() < 3000) {
            common::LogLine line{randomText(random, names, 8), randomText(random, names, 8),
                                 randomText(random, message, 24), randomText(random, dates, 19)};
            if (!testsupport::quoteBeforeBreak(line.message))
                lines << line;
        }
        const history::core::LogReadResult result = history::core::parseLog(history::core::encodeLog(lines));
        QCOMPARE(result.skippedLines, 0);
        QCOMPARE(result.table.rowCount(), lines.size());
        for (qsizetype row = 0; row < lines.size(); ++row) {
            const common::LogLine back{result.table.field(row, 0), result.table.field(row, 1),
                                       result.table.field(row, 2), result.table.field(row, 3)};
            if (back != lines.at(row))
                QFAIL(qPrintable(u"record %1 differs: %2 / %3"_s.arg(row).arg(back.joined(), lines.at(row).joined())));
        }
    }

    void readsLargeFile()
    {
        QList<common::LogLine> lines;
        for (int i = 0; lines.size() < 120000; ++i)
            lines << common::LogLine{u"送信PC"_s, u"受信PC"_s, u"相手>メッセージ%1、漢字とABC"_s.arg(i),
                                     u"2002/10/18 9:05:03"_s};
        const QByteArray bytes = history::core::encodeLog(lines);
        QVERIFY(bytes.size() > 8 * 1024 * 1024);
        QTemporaryDir dir;
        QFile file(dir.filePath(u"big.txt"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();

        const history::core::LogReadResult fromFile = history::core::readLogFile(file.fileName());
        QVERIFY(fromFile.ok());
        QCOMPARE(fromFile.table.rowCount(), lines.size());
        QCOMPARE(fromFile.table.field(119999, 2), u"相手>メッセージ119999、漢字とABC"_s);
        QCOMPARE(recordsOf(fromFile.table), recordsOf(history::core::parseLog(bytes).table));
    }

    // A hostile file never aborts the program that views it: a load stays within 3 × the file
    // plus 64 MiB, and a file whose records need more is refused with a message.
    void loadsWithinBudget_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QString>("expected");
        constexpr int Size = 64 << 20;
        QTest::newRow("bare line ends") << QByteArray("\n") << u"ok 0 %1"_s.arg(Size);
        QTest::newRow("written records")
            << QByteArray("\"PCA\",\"PCB\",\"hello there, 0123456789\",\"2002/10/18 9:05:03\"\r\n") << u"ok *"_s;
        // Four empty fields per 4 bytes: 16 bytes of index each, 5 × the file in all.
        QTest::newRow("records of four bytes")
            << QByteArray(",,,\n") << u"error メモリが足りないため、このファイルを読み込めません。"_s;
    }
    void loadsWithinBudget()
    {
#ifdef TAVIK_ADDRESS_SANITIZER
        QSKIP("AddressSanitizer reserves terabytes of address space: a limit on it cannot be tested here");
#endif
        QFETCH(QByteArray, pattern);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"hostile.txt"_s);
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            const QByteArray chunk = pattern.repeated((1 << 20) / pattern.size());
            while (file.size() + chunk.size() <= (64 << 20))
                QCOMPARE(file.write(chunk), chunk.size());
            QCOMPARE(file.write(pattern.repeated(int((64 << 20) - file.size()) / pattern.size())) >= 0, true);
        }
        const QString answer = readUnderAddressLimit(path);
        if (expected.endsWith(u'*'))
            QVERIFY2(answer.startsWith(expected.chopped(1)), qPrintable(answer));
        else
            QVERIFY2(answer.startsWith(expected), qPrintable(answer));
    }

    void unreadableFiles()
    {
        QTemporaryDir dir;
        QVERIFY(!history::core::readLogFile(dir.filePath(u"missing.txt"_s)).ok());
        QVERIFY(!history::core::readLogFile(dir.path()).ok());
        // A symbolic link loop is named in Japanese, as every system error is.
        QVERIFY(QFile::link(dir.filePath(u"b.txt"_s), dir.filePath(u"a.txt"_s)));
        QVERIFY(QFile::link(dir.filePath(u"a.txt"_s), dir.filePath(u"b.txt"_s)));
        QCOMPARE(history::core::readLogFile(dir.filePath(u"a.txt"_s)).error, history::core::osErrorText(ELOOP));
        for (const int error : {ELOOP,   ENAMETOOLONG, EROFS,  EMFILE,  ENFILE, EIO,       ENOSPC, EDQUOT,
                                EACCES,  EPERM,        ENOENT, ENOTDIR, EISDIR, EEXIST,    EXDEV,  EFBIG,
                                ETXTBSY, ENOMEM,       EBUSY,  EINVAL,  ESTALE, EOVERFLOW, EAGAIN, ENOTSUP}) {
            const QString text = history::core::osErrorText(error);
            QVERIFY2(!text.startsWith(u"システムエラー"_s) && !text.contains(QRegularExpression(u"[A-Za-z]"_s)),
                     qPrintable(text));
        }
        QCOMPARE(history::core::osErrorText(9999), u"システムエラー（番号 9999）"_s);
    }

    void modelServesTrimmedFieldsInGridOrder()
    {
        history::core::LogTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), history::core::LogTableModel::DesignRows);
        QCOMPARE(model.columnCount(), 5);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), u"ホストPC名"_s);
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), u"受信側PC名"_s);
        QCOMPARE(model.headerData(3, Qt::Horizontal).toString(), u"送信日時"_s);
        QCOMPARE(model.headerData(4, Qt::Horizontal).toString(), u"送信メッセージ"_s);

        model.setTable(history::core::parseLog(QByteArray("\" A \",\"\x81\x40"
                                                          "B\x81\x40\",\" \tmsg \",\"T\"\r\n"
                                                          "\"C\",\"D\",\"m2\",\"U\"\r\n"))
                           .table);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0, 0).data().toString(), QString());
        QCOMPARE(model.index(0, 1).data().toString(), u"A"_s);
        QCOMPARE(model.index(0, 2).data().toString(), u"B"_s);     // full-width spaces removed
        QCOMPARE(model.index(0, 3).data().toString(), u"T"_s);     // date-time before the message
        QCOMPARE(model.index(0, 4).data().toString(), u"\tmsg"_s); // only spaces are trimmed
        QCOMPARE(model.index(1, 4).data().toString(), u"m2"_s);

        // A cell shows the start of a long field, its tooltip a longer start, each marked as cut;
        // only that start is decoded, so a field of 20 MiB is drawn as fast as a short one.
        const QByteArray huge = QByteArray("\x82\xa0").repeated(10 << 20); // 「あ」 × 10 Mi
        model.setTable(history::core::parseLog("\"A\",\"B\",\"" + QByteArray(1000, 'x') + "\",\"T\"\r\n\"A\",\"B\",\"" +
                                               QByteArray(1001, 'x') + "\",\"T\"\r\n\"A\",\"B\",\"" + huge + "\",\"" +
                                               huge + "\"\r\n")
                           .table);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.index(0, 4).data().toString(), QString(1000, u'x'));
        QCOMPARE(model.index(1, 4).data().toString(), QString(1000, u'x') + u'…');
        QCOMPARE(model.index(1, 4).data(Qt::ToolTipRole).toString(), QString(1001, u'x'));
        QCOMPARE(model.index(2, 4).data().toString(), QString(1000, u'あ') + u'…');
        QCOMPARE(model.index(2, 3).data().toString(), QString(1000, u'あ') + u'…');
        QCOMPARE(model.index(2, 4).data(Qt::ToolTipRole).toString(), QString(4000, u'あ') + u'…');

        model.setTable(history::core::parseLog(QByteArray("no record here\r\n")).table);
        QCOMPARE(model.rowCount(), 0);

        // A very long file reaches the view in steps, each short enough to keep the chat's event
        // loop turning, and in the end whole.
        history::core::LogTableModel longModel;
        constexpr int Records = history::core::LogTableModel::RevealRows + 5;
        longModel.setTable(history::core::parseLog(QByteArray(",,,\n").repeated(Records - 1) + "a,b,c,last\n").table);
        QCOMPARE(longModel.rowCount(), history::core::LogTableModel::RevealRows);
        QTRY_COMPARE(longModel.rowCount(), Records);
        QCOMPARE(longModel.cellText(Records - 1, 3), u"last"_s);
    }
};

QTEST_GUILESS_MAIN(TestLogReader)
#include "tst_logreader.moc"
