#include "history/core/logreader.h"

#include "common/cp932codec.h"
#include "history/core/foldersearch.h"
#include "history/core/logsearch.h"
#include "history/core/logtablemodel.h"
#include "history/core/logwriter.h"
#include "history/core/searchfold.h"
#include "support/logmessageforms.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>
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

// The rows of @p bytes, parsed as a log named @p fileName, that @p query finds.
QList<history::core::SearchHit> searchBytes(const QByteArray& bytes, const history::core::SearchQuery& query,
                                            const QString& fileName = u"20250301120000.txt"_s)
{
    QList<history::core::SearchHit> hits;
    history::core::SearchMatcher(query).search(history::core::parseLog(bytes).table, fileName,
                                               [&](history::core::SearchHit&& hit) {
                                                   hits.append(std::move(hit));
                                                   return true;
                                               });
    return hits;
}

QList<qsizetype> rowsOf(const QList<history::core::SearchHit>& hits)
{
    QList<qsizetype> rows;
    for (const history::core::SearchHit& hit : hits)
        rows << hit.record;
    return rows;
}

QByteArray logOf(const QList<common::LogLine>& lines)
{
    return history::core::encodeLog(lines);
}

// Reads @p path in a child process whose address space is limited to the load budget of the file
// (3 × its size + 64 MiB, the child's own program included) and returns what the load gave:
// "ok <records> <skipped>" or "error <status code> <errno>"; an abort or a crash gives "died <status>".
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
        const QByteArray answer = result.ok() ? QByteArray("ok " + QByteArray::number(result.table.rowCount()) + ' ' +
                                                           QByteArray::number(result.skippedLines))
                                              : QByteArray("error " + QByteArray::number(int(result.status.code())) +
                                                           ' ' + QByteArray::number(result.status.sysErrno()));
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
        // Lines exactly as written are read in one quick pass; a file where one line is not falls
        // back to the full rules and must give the same records.
        QTest::newRow("written lines, then a quote in a message")
            << QByteArray("\"A\",\"B\",\"m\",\"T\"\r\n\"C\",\"D\",\"x\"y\",\"U\"\r\n")
            << Records{{u"A"_s, u"B"_s, u"m"_s, u"T"_s}, {u"C"_s, u"D"_s, u"x\"y"_s, u"U"_s}} << 0;
        QTest::newRow("written lines, then one without quotes")
            << QByteArray("\"A\",\"B\",\"m\",\"T\"\nC,D,n,U\n")
            << Records{{u"A"_s, u"B"_s, u"m"_s, u"T"_s}, {u"C"_s, u"D"_s, u"n"_s, u"U"_s}} << 0;
        QTest::newRow("receiver of one comma")
            << QByteArray("\"A\",\",\",\"m\",\"T\"\r\n") << Records{{u"A"_s, u","_s, u"m"_s, u"T"_s}} << 0;
        QTest::newRow("message of one comma")
            << QByteArray("\"A\",\"B\",\",\",\"T\"\r\n") << Records{{u"A"_s, u"B"_s, u","_s, u"T"_s}} << 0;
        QTest::newRow("date-time of one comma")
            << QByteArray("\"A\",\"B\",\"m\",\",\"\r\n") << Records{{u"A"_s, u"B"_s, u"m"_s, u","_s}} << 0;
        QTest::newRow("spaces inside the last field")
            << QByteArray("\"A\",\"B\",\"m\",\" T \"\r\n\"C\",\"D\",\"n\",\"U\"")
            << Records{{u"A"_s, u"B"_s, u"m"_s, u" T "_s}, {u"C"_s, u"D"_s, u"n"_s, u"U"_s}} << 0;
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

    void writerRoundTrip_data()
    {
        QTest::addColumn<QString>("message");
        QTest::newRow("any text") << u"aあ漢 ,\"\r\n>\u3000x"_s;
        // What the chat logs: no double quote, no line break; read in the quick pass.
        QTest::newRow("as the chat logs") << u"aあ漢 ,>\u3000xｱﾞ"_s;
    }
    void writerRoundTrip()
    {
        QFETCH(QString, message);
        QRandomGenerator random(20030305);
        const QString names = u"abcXYZ019-_ あ漢,.\u3000"_s;
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
            << QByteArray(",,,\n") << u"error %1 %2"_s.arg(int(common::Status::Code::TooLarge)).arg(ENOMEM);
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
        const auto statusOf = [&](const QString& name) {
            return history::core::readLogFile(dir.filePath(name)).status;
        };
        const auto systemError = [&](int error, const QString& name) {
            return common::Status::fromErrno(error, dir.filePath(name));
        };
        QCOMPARE(statusOf(u"missing.txt"_s), systemError(ENOENT, u"missing.txt"_s));
        QCOMPARE(statusOf(QString()), systemError(EISDIR, QString()));
        QVERIFY(QFile::link(dir.filePath(u"b.txt"_s), dir.filePath(u"a.txt"_s)));
        QVERIFY(QFile::link(dir.filePath(u"a.txt"_s), dir.filePath(u"b.txt"_s)));
        QCOMPARE(statusOf(u"a.txt"_s), systemError(ELOOP, u"a.txt"_s));
        // A named pipe is refused without waiting for a writer.
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(u"pipe.txt"_s)).constData(), 0600), 0);
        QCOMPARE(statusOf(u"pipe.txt"_s), systemError(EINVAL, u"pipe.txt"_s));
    }

    // A keyword is found whatever the width and the case it or the text is written in.
    void searchFolds_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("found");
        QTest::newRow("full-width upper in lower") << u"ＡＢＣ"_s << u"xabcx"_s << true;
        QTest::newRow("lower in full-width lower") << u"abc"_s << u"ａｂｃ"_s << true;
        QTest::newRow("full-width lower in upper") << u"ａｂｃ"_s << u"ABC"_s << true;
        QTest::newRow("mixed widths") << u"Backup"_s << u"ＢａｃｋＵＰ完了"_s << true;
        QTest::newRow("half-width katakana") << u"テスト"_s << u"ﾃｽﾄ中"_s << true;
        QTest::newRow("full-width katakana") << u"ﾃｽﾄ"_s << u"再テスト"_s << true;
        QTest::newRow("sound mark joined") << u"データ"_s << u"ﾃﾞｰﾀ"_s << true;
        QTest::newRow("joined sound mark") << u"ﾊﾟｽ"_s << u"パスワード"_s << true;
        QTest::newRow("base of a joined mark") << u"カ"_s << u"ｶﾞ"_s << false;
        QTest::newRow("hiragana is not katakana") << u"テスト"_s << u"てすと"_s << false;
        QTest::newRow("squared unit") << u"mm"_s << u"3㎜"_s << true;
        QTest::newRow("inside a squared unit") << u"m"_s << u"㎜"_s << true;
        QTest::newRow("roman numeral") << u"iv"_s << u"Ⅳ章"_s << true;
        QTest::newRow("circled digit") << u"12"_s << u"⑫"_s << true;
        QTest::newRow("parenthesised") << u"(株)"_s << u"㈱タビク"_s << true;
        QTest::newRow("ideographic space") << u"a b"_s << u"a\u3000b"_s << true;
        QTest::newRow("spaces around the keyword") << u"  ok "_s << u"OK"_s << true;
        // The second byte of オ (83 49) is the byte of "I": a byte search would find it.
        QTest::newRow("second byte of a character") << u"I"_s << u"オカ"_s << false;
        QTest::newRow("second byte of 表") << u"\\"_s << u"表"_s << false;
        QTest::newRow("kanji") << u"会議"_s << u"明日の会議は10時"_s << true;
        QTest::newRow("not there") << u"会議室"_s << u"明日の会議は10時"_s << false;
        QTest::newRow("character outside code page 932") << u"😀"_s << u"?"_s << false;
        // A pasted page as the keyword is judged by its start, without going through every pair.
        QTest::newRow("very long keyword") << QString(20000, u'あ') << QString(19999, u'あ') << false;
        QTest::newRow("very long keyword found") << QString(20000, u'ｱ') << QString(20000, u'ア') << true;
    }
    void searchFolds()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, text);
        QFETCH(bool, found);
        const QByteArray bytes = logOf({{u"PCA"_s, u"PCB"_s, u"x"_s, u"2025/03/01 9:00:00"_s},
                                        {u"PCA"_s, u"PCB"_s, text, u"2025/03/01 9:00:01"_s}});
        QCOMPARE(rowsOf(searchBytes(bytes, {keyword, {}, {}})), found ? QList<qsizetype>{1} : QList<qsizetype>{});
    }

    // The byte prefilter never hides a record the folded text holds the keyword in, and folding
    // one unit at a time gives the fold of the whole text: random records of look-alike characters
    // against a search that folds every record.
    void searchFindsWhatFoldingFinds()
    {
        const QString alphabet =
            u"abcABCａｂｃＡＢＣmM㎜ⅰⅳⅣiIvV①1テストﾃｽﾄてすとｶﾞガカﾞﾟ゛ﾊﾟパハ㈱(株)会議 　,\"\\表ア?"_s;
        QRandomGenerator random(20250301);
        QList<common::LogLine> lines;
        for (int i = 0; i < 3000; ++i) {
            lines << common::LogLine{randomText(random, alphabet, 4), randomText(random, alphabet, 4),
                                     randomText(random, alphabet, 12), randomText(random, alphabet, 4)};
        }
        const history::core::LogTable table = history::core::parseLog(logOf(lines)).table;
        for (qsizetype row = 0; row < table.rowCount(); ++row) {
            for (int k = 0; k < history::core::LogTable::FieldsPerRecord; ++k) {
                const QString field = table.field(row, k);
                const QString whole = field.normalized(QString::NormalizationForm_KC).toCaseFolded();
                if (history::core::foldForSearch(field) != whole)
                    QFAIL(qPrintable(u"fold of %1 differs from the whole text's"_s.arg(field)));
            }
        }
        const QStringList keywords = {u"abc"_s, u"Ａ"_s, u"m"_s,    u"mm"_s,   u"iv"_s, u"テスト"_s, u"ガ"_s,
                                      u"カ"_s,  u"ﾞ"_s,  u"パハ"_s, u"(株)"_s, u"1"_s,  u"会議"_s,   u"\u3099"_s,
                                      u" ,"_s,  u"\""_s, u"?"_s,    u"\\"_s,   u"ア"_s, u"c㎜"_s};
        for (const QString& keyword : keywords) {
            const QString folded = history::core::foldForSearch(keyword.trimmed());
            QList<qsizetype> expected;
            for (qsizetype row = 0; row < table.rowCount(); ++row) {
                for (int k = 0; k < history::core::LogTable::FieldsPerRecord; ++k) {
                    if (history::core::foldForSearch(table.field(row, k)).contains(folded)) {
                        expected << row;
                        break;
                    }
                }
            }
            QList<qsizetype> found;
            history::core::SearchMatcher({keyword, {}, {}})
                .search(table, u"20250301120000.txt"_s, [&](history::core::SearchHit&& hit) {
                    found << hit.record;
                    return true;
                });
            QVERIFY2(!expected.isEmpty(), qPrintable(keyword));
            QCOMPARE(found, expected);
        }
    }

    void searchHitShowsMatches_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QList<history::core::TextSpan>>("matches");
        QTest::newRow("width and case") << u"ログにＡＢＣとabcを"_s << u"Abc"_s << u"ログにＡＢＣとabcを"_s
                                        << QList<history::core::TextSpan>{{3, 3}, {7, 3}};
        QTest::newRow("joined mark is one character")
            << u"ﾃﾞｰﾀ"_s << u"デ"_s << u"ﾃﾞｰﾀ"_s << QList<history::core::TextSpan>{{0, 2}};
        QTest::newRow("spaces around the field")
            << u"\u3000 hit "_s << u"hit"_s << u"hit"_s << QList<history::core::TextSpan>{{0, 3}};
        QTest::newRow("far into the text")
            << QString(50, u'x') + u"KEY"_s + QString(10, u'y') << u"key"_s
            << u"…"_s + QString(20, u'x') + u"KEY"_s + QString(10, u'y') << QList<history::core::TextSpan>{{21, 3}};
        QTest::newRow("longer than a cell")
            << u"key"_s + QString(2000, u'z') << u"key"_s << u"key"_s + QString(997, u'z') + u'…'
            << QList<history::core::TextSpan>{{0, 3}};
    }
    void searchHitShowsMatches()
    {
        QFETCH(QString, message);
        QFETCH(QString, keyword);
        QFETCH(QString, shown);
        QFETCH(QList<history::core::TextSpan>, matches);
        const QList<history::core::SearchHit> hits =
            searchBytes(logOf({{u"PCA"_s, u"PCB"_s, u"-"_s, u"T"_s}, {u" PCA"_s, u"PCB"_s, message, u"T"_s}}),
                        {keyword, {}, {}}, u"20250301120000_2.txt"_s);
        QCOMPARE(hits.size(), 1);
        QCOMPARE(hits.at(0).fileName, u"20250301120000_2.txt"_s);
        QCOMPARE(hits.at(0).record, 1);
        QCOMPARE(hits.at(0).fields[0], u"PCA"_s);
        QCOMPARE(hits.at(0).fields[2], shown);
        QCOMPARE(hits.at(0).matches[2], matches);
        QVERIFY(hits.at(0).matches[0].isEmpty());
    }

    // The days asked for are the days the records' date-times give; a record without one takes
    // its file's day. Broken lines are skipped as the viewer skips them.
    void searchWithinDays_data()
    {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QList<qsizetype>>("rows");
        QTest::newRow("no days") << QDate() << QDate() << QList<qsizetype>{0, 1, 2, 3};
        QTest::newRow("one day") << QDate(2025, 2, 28) << QDate(2025, 2, 28) << QList<qsizetype>{1};
        QTest::newRow("from a day on") << QDate(2025, 3, 1) << QDate() << QList<qsizetype>{2, 3};
        QTest::newRow("up to a day") << QDate() << QDate(2025, 2, 27) << QList<qsizetype>{0};
        QTest::newRow("nothing") << QDate(2025, 3, 2) << QDate(2025, 3, 31) << QList<qsizetype>{};
    }
    void searchWithinDays()
    {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QList<qsizetype>, rows);
        const QByteArray bytes = "\"A\",\"B\",\"hit\",\"2025/2/27 23:59:59\"\r\n"
                                 "\"A\",\"B\",\"hit\",\"2025/02/28\"\r\n"
                                 "broken hit line\r\n"
                                 "\"A\",\"B\",\"hit\",\"2025/03/01 0:00:01\"\r\n"
                                 "\"A\",\"B\",\"hit\",\"no date\"\r\n";
        QCOMPARE(rowsOf(searchBytes(bytes, {u"HIT"_s, from, to}, u"20250301090000.txt"_s)), rows);
        QCOMPARE(history::core::SearchMatcher({u"x"_s, from, to}).mayHold(u"20250301090000.txt"_s),
                 !from.isValid() || from <= QDate(2025, 3, 1));
    }

    void logFilesInFolder()
    {
        QTemporaryDir dir;
        const QStringList names = {u"20250101090000_10.txt"_s, u"20250101090000.txt"_s, u"20241231235959.txt"_s,
                                   u"20250101090000_2.txt"_s,  u"memo.txt"_s,           u"2025010109000.txt"_s,
                                   u"20250101090000_.txt"_s,   u"20250101090000.TXT"_s, u".tavik-journal-x.jnl"_s};
        for (const QString& name : names) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const common::Result<QStringList> listed = history::core::logFilesIn(dir.path());
        QVERIFY(listed.isOk());
        QCOMPARE(listed.value(), (QStringList{u"20241231235959.txt"_s, u"20250101090000.txt"_s,
                                              u"20250101090000_2.txt"_s, u"20250101090000_10.txt"_s}));
        QCOMPARE(history::core::logFilesIn(dir.filePath(u"none"_s)).status(),
                 common::Status::fromErrno(ENOENT, dir.filePath(u"none"_s)));
    }

    // A folder search reports every record found, the lines it skipped and the files it could not read.
    void folderSearchReportsEverything()
    {
        QTemporaryDir dir;
        const auto write = [&](const QString& name, const QByteArray& bytes) {
            QFile file(dir.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        QVERIFY(write(u"20250101090000.txt"_s, logOf({{u"A"_s, u"B"_s, u"ｷｰﾜｰﾄﾞ"_s, u"2025/01/01 9:00:00"_s}})));
        QVERIFY(write(u"20250102090000.txt"_s, "junk\r\n\r\n" + logOf({{u"A"_s, u"B"_s, u"キーワード"_s, u"T"_s}})));
        QVERIFY(write(u"20250102090000_2.txt"_s, logOf({{u"C"_s, u"D"_s, u"none"_s, u"2025/01/02 9:00:00"_s}})));
        QVERIFY(QDir(dir.path()).mkdir(u"20250103090000.txt"_s));
        history::core::FolderSearch search;
        QSignalSpy hits(&search, &history::core::FolderSearch::hitsFound);
        QSignalSpy finished(&search, &history::core::FolderSearch::finished);
        search.start(dir.path(), {u"キーワード"_s, {}, {}});
        QVERIFY(finished.wait(10000));
        QList<history::core::SearchHit> found;
        for (const QList<QVariant>& batch : hits)
            found += batch.at(0).value<QList<history::core::SearchHit>>();
        QCOMPARE(found.size(), 2);
        QCOMPARE(found.at(0).fileName, u"20250101090000.txt"_s);
        QCOMPARE(found.at(1).fileName, u"20250102090000.txt"_s);
        QCOMPARE(found.at(1).record, 0);
        const auto summary = finished.at(0).at(0).value<history::core::SearchSummary>();
        QCOMPARE(summary.filesSearched, 3);
        QCOMPARE(summary.hits, 2);
        QCOMPARE(summary.skippedLines, 2);
        QCOMPARE(summary.unreadable,
                 QList<common::Status>{common::Status::fromErrno(EISDIR, dir.filePath(u"20250103090000.txt"_s))});
        QVERIFY(summary.folder.isOk());
        QVERIFY(!search.isRunning());

        // A new search gives up the running one: only the second one's records arrive.
        hits.clear();
        finished.clear();
        search.start(dir.path(), {u"key"_s, {}, {}});
        search.start(dir.path(), {u"none"_s, {}, {}});
        QVERIFY(finished.wait(10000));
        QTest::qWait(100);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<history::core::SearchSummary>().hits, 1);

        // A keyword that every record holds: the search ends at MaxHits and says so.
        QTemporaryDir many;
        const QByteArray record = logOf({{u"A"_s, u"B"_s, u"hit"_s, u"2025/01/01 9:00:00"_s}});
        for (const QString& name : {u"20250101090000.txt"_s, u"20250102090000.txt"_s}) {
            QFile file(many.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(record.repeated(history::core::FolderSearch::MaxHits - 10)) > 0);
        }
        hits.clear();
        finished.clear();
        search.start(many.path(), {u"HIT"_s, {}, {}});
        QVERIFY(finished.wait(30000));
        qsizetype rows = 0;
        for (const QList<QVariant>& batch : hits)
            rows += batch.at(0).value<QList<history::core::SearchHit>>().size();
        const auto limited = finished.at(0).at(0).value<history::core::SearchSummary>();
        QVERIFY(limited.stoppedAtLimit);
        QCOMPARE(limited.hits, history::core::FolderSearch::MaxHits);
        QCOMPARE(rows, history::core::FolderSearch::MaxHits);
        QCOMPARE(limited.filesSearched, 2);
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
