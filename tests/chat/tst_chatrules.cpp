// The chat's rules without a window: the bind failure text, the checks before a send, the display
// lines, and who a received datagram is from.
#include "chat/core/chatrules.h"
#include "chat/core/messagelines.h"
#include "chat/core/outgoingcheck.h"
#include "chat/core/senderclassifier.h"
#include "net/socketerror.h"
#include "widgets/errortext.h"

#include <QTest>

#include <cerrno>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

/// A clock the test moves by hand.
struct ManualClock
{
    chat::core::SenderClassifier::TimePoint now{};
    chat::core::SenderClassifier::Clock function()
    {
        return [this] { return now; };
    }
};

chat::core::Arrival arrival(const QString& text, const QString& address, quint16 port)
{
    return {text, QHostAddress(address), port, u"PCB"_s, u"2002/10/18 9:05:03"_s};
}

/// The address the classifier's tests give this machine.
const QString ThisMachine = u"192.0.2.77"_s;

QList<QHostAddress> addresses(const QStringList& texts)
{
    QList<QHostAddress> list;
    for (const QString& text : texts)
        list.append(QHostAddress(text));
    return list;
}

} // namespace

class TestChatRules final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The bind failure box: the port, then the socket's wording of the error, and the Winsock
    // code the control would report.
    void bindFailureNamesPortAndReason_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no permission") << EACCES << 10013
                                       << u"ポート1002を開けませんでした。\nこのポートを使う権限がありません。"_s;
        QTest::newRow("not permitted") << EPERM << 10013
                                       << u"ポート1002を開けませんでした。\nこのポートを使う権限がありません。"_s;
        QTest::newRow("in use") << EADDRINUSE << 10048
                                << u"ポート1002を開けませんでした。\n他のプログラムがこのポートを使用しています。"_s;
        QTest::newRow("no such address") << EADDRNOTAVAIL << 10049
                                         << u"ポート1002を開けませんでした。\nこのアドレスは使えません。"_s;
        QTest::newRow("unknown error")
            << 9999 << 10107
            << u"ポート1002を開けませんでした。\nソケットの操作に失敗しました（システムエラー 番号 9999）。"_s;
    }
    void bindFailureNamesPortAndReason()
    {
        QFETCH(int, error);
        QFETCH(int, code);
        QFETCH(QString, expected);
        const common::Status failed = common::Status::fromSocketErrno(error);
        QCOMPARE(chat::core::bindFailureText(1002, widgets::errorText(failed)), expected);
        QCOMPARE(net::winsockCode(failed), code);
    }

    // A file's failure and a socket's with the same error number are worded for what failed.
    void errorTextSaysWhatFailed()
    {
        QCOMPARE(widgets::errorText(common::Status::fromErrno(EACCES)), u"アクセスが拒否されました。"_s);
        QCOMPARE(widgets::errorText(common::Status::fromErrno(ENOSPC)), u"ディスクの空き領域が足りません。"_s);
        QCOMPARE(widgets::errorText(common::Status::fromSocketErrno(ENOSPC)), u"ディスクの空き領域が足りません。"_s);
        QCOMPARE(widgets::errorText(common::Status::fromErrno(9999)), u"システムエラー（番号 9999）"_s);
        QCOMPARE(net::winsockCode(common::Status::failure(common::Status::Code::NotFound)), 10014);
        QCOMPARE(net::winsockCode(common::Status::failure(common::Status::Code::Unencodable)), 10022);
        QCOMPARE(net::winsockCode(common::Status{}), 0);
    }

    void outgoingChecks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal");
        const QString tooLong = u"メッセージが長すぎます。"_s;
        QTest::newRow("empty") << QString() << u"メッセージを入力してください"_s;
        QTest::newRow("blanks are a message") << u"   "_s << QString();
        QTest::newRow("japanese") << u"こんにちは、世界〜"_s << QString();
        QTest::newRow("comma") << u"a,b"_s << u"送信するメッセージに[,]は入れられません"_s;
        QTest::newRow("quote") << u"say \"hi\""_s << u"送信するメッセージに[\"]は入れられません"_s;
        QTest::newRow("comma wins over quote") << u"\"a\",b"_s << u"送信するメッセージに[,]は入れられません"_s;
        QTest::newRow("full-width comma is fine") << u"a，b"_s << QString();
        QTest::newRow("32767 characters") << QString(32767, u'a') << QString();
        QTest::newRow("32768 characters") << QString(32768, u'a') << tooLong;
        QTest::newRow("32768 with a comma") << (QString(32767, u'a') + u',') << tooLong;
        // 32,767 double-byte characters make 65,534 bytes, more than one datagram holds.
        QTest::newRow("over one datagram") << QString(32767, u'あ') << tooLong;
        QTest::newRow("exactly one datagram") << (QString(32753, u'あ') + QString(1, u'a')) << QString();
        QTest::newRow("unrepresentable") << u"a😀b"_s << u"次の文字は送信できません：😀"_s;
        // Lone surrogates are named one by one, even where two of them would make a character.
        const QChar high(0xD83D);
        QTest::newRow("lone high, then an unrelated lone low")
            << (high + u"a"_s + QChar(0xDC00)) << u"次の文字は送信できません：U+D83D U+DC00"_s;
        QTest::newRow("pair, then its halves alone")
            << (u"😀a"_s + high + u"b"_s + QChar(0xDE00)) << u"次の文字は送信できません：😀 U+D83D U+DE00"_s;
        QTest::newRow("halves alone, then the pair")
            << (high + u"b"_s + QChar(0xDE00) + u"😀"_s) << u"次の文字は送信できません：U+D83D U+DE00 😀"_s;
        QTest::newRow("comma before unrepresentable") << u"😀,"_s << u"送信するメッセージに[,]は入れられません"_s;
    }
    void outgoingChecks()
    {
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        const chat::core::OutgoingCheck check = chat::core::checkOutgoing(text);
        QCOMPARE(check.refusal, refusal);
        QCOMPARE(check.accepted(), refusal.isEmpty());
    }

    void unrepresentableCharactersAreListedReadably()
    {
        // Each once, in order, at most ten; invisible ones and lone surrogates by their code.
        QString many;
        for (char32_t c = 0x1F600; c < 0x1F60C; ++c)
            many += QString::fromUcs4(&c, 1);
        const QString listed = chat::core::checkOutgoing(many).refusal;
        QVERIFY(listed.startsWith(u"次の文字は送信できません："_s));
        QVERIFY(listed.contains(QString::fromUcs4(U"\U0001F609")));
        QVERIFY(!listed.contains(QString::fromUcs4(U"\U0001F60A")));
        QCOMPARE(chat::core::checkOutgoing(u"\u200B"_s).refusal, u"次の文字は送信できません：U+200B"_s);
        QCOMPARE(chat::core::checkOutgoing(QString(QChar(0xD800))).refusal, u"次の文字は送信できません：U+D800"_s);
        QCOMPARE(chat::core::checkOutgoing(u"😀\u0301"_s).refusal, u"次の文字は送信できません：😀 U+0301"_s);
    }

    void controlsBecomeVisible_data()
    {
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << u"hello, \"you\""_s << u"hello, \"you\""_s;
        QTest::newRow("line breaks") << u"a\r\nb"_s << u"a\u240D\u240Ab"_s;
        QTest::newRow("tab nul esc del") << u"\t\0\x1b\x7f"_s << u"\u2409\u2400\u241B\u2421"_s;
        QTest::newRow("C1") << u"a\u0085b"_s << u"a<U+0085>b"_s;
        QTest::newRow("override") << u"\u202Egnp.exe"_s << u"<U+202E>gnp.exe"_s;
        QTest::newRow("isolate") << u"\u2066x\u2069"_s << u"<U+2066>x<U+2069>"_s;
        QTest::newRow("line separator") << u"a\u2028b"_s << u"a<U+2028>b"_s;
        QTest::newRow("replacement kept") << u"\uFFFD"_s << u"\uFFFD"_s;
        QTest::newRow("markup is text") << u"<b>x</b>"_s << u"<b>x</b>"_s;
    }
    void controlsBecomeVisible()
    {
        QFETCH(QString, received);
        QFETCH(QString, shown);
        QCOMPARE(chat::core::partnerDisplayLine(received), u"相手>"_s + shown);
        QCOMPARE(chat::core::ownDisplayLine(received), u"貴方>"_s + shown);
    }

    void longMessagesAreCutForTheList_data()
    {
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("shown");
        const QString a3999(3999, u'a');
        QTest::newRow("4000 kept whole") << a3999 + u'b' << a3999 + u'b';
        QTest::newRow("4001 cut") << a3999 + u"bc"_s << a3999 + u'…';
        QTest::newRow("largest datagram") << QString(65507, u'a') << a3999 + u'…';
        QTest::newRow("pair not split") << QString(3998, u'a') + u"😀b"_s << QString(3998, u'a') + u'…';
        QTest::newRow("grown by markers")
            << QString(3990, u'a') + QString(10, QChar(0x202E)) << QString(3990, u'a') + u"<U+202E>…"_s;
    }
    void longMessagesAreCutForTheList()
    {
        QFETCH(QString, received);
        QFETCH(QString, shown);
        QCOMPARE(chat::core::shownText(received), shown);
        QCOMPARE(chat::core::partnerDisplayLine(received), u"相手>"_s + shown);
        QCOMPARE(chat::core::ownDisplayLine(received), u"貴方>"_s + shown);
        // The log keeps the whole text.
        QCOMPARE(chat::core::receivedLogLine(u"PCA"_s, u"PCB"_s, received, {}).message, u"相手>"_s + received);
        chat::core::SenderClassifier classifier;
        QVERIFY(classifier.connectTo(u"PCA"_s, 1001).isEmpty());
        classifier.lookupAnswered(u"PCA"_s, {});
        QCOMPARE(classifier.arrived(arrival(received, u"192.0.2.9"_s, 1001)).constFirst().displayLine,
                 u"他のPC(192.0.2.9)>"_s + shown);
    }

    void onlyThePartnersAddressAndPortSpeakAsThePartner_data()
    {
        QTest::addColumn<QStringList>("partner");
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("fromPort");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("logSender");
        QTest::addColumn<QString>("logMessage");
        const QStringList partner{u"192.0.2.5"_s, u"2001:db8::5"_s};
        QTest::newRow("partner") << partner << u"192.0.2.5"_s << 1001 << u"やあ"_s << u"相手>やあ"_s << u"PCA"_s
                                 << u"相手>やあ"_s;
        QTest::newRow("partner as IPv4-mapped")
            << partner << u"::ffff:192.0.2.5"_s << 1001 << u"x"_s << u"相手>x"_s << u"PCA"_s << u"相手>x"_s;
        QTest::newRow("partner's second address")
            << partner << u"2001:db8::5"_s << 1001 << u"x"_s << u"相手>x"_s << u"PCA"_s << u"相手>x"_s;
        QTest::newRow("lookup answered mapped") << QStringList{u"::ffff:192.0.2.5"_s} << u"192.0.2.5"_s << 1001
                                                << u"x"_s << u"相手>x"_s << u"PCA"_s << u"相手>x"_s;
        QTest::newRow("another address") << partner << u"127.0.0.2"_s << 1001 << u"やあ"_s
                                         << u"他のPC(127.0.0.2)>やあ"_s << u"127.0.0.2"_s << u"他のPC>やあ"_s;
        QTest::newRow("partner's address, another port")
            << partner << u"192.0.2.5"_s << 40001 << u"x"_s << u"他のPC(192.0.2.5:40001)>x"_s << u"192.0.2.5:40001"_s
            << u"他のPC>x"_s;
        QTest::newRow("IPv6 stranger, another port")
            << partner << u"2001:db8::9"_s << 40001 << u"x"_s << u"他のPC([2001:db8::9]:40001)>x"_s
            << u"[2001:db8::9]:40001"_s << u"他のPC>x"_s;
        // A line break would split the log record: written as "?", as the partner's are.
        QTest::newRow("stranger's controls shown, line breaks logged as ?")
            << partner << u"192.0.2.9"_s << 1001 << u"a\r\nb\tc"_s << u"他のPC(192.0.2.9)>a\u240D\u240Ab\u2409c"_s
            << u"192.0.2.9"_s << u"他のPC>a??b\tc"_s;
        QTest::newRow("lookup failed") << QStringList() << u"192.0.2.5"_s << 1001 << u"x"_s << u"他のPC(192.0.2.5)>x"_s
                                       << u"192.0.2.5"_s << u"他のPC>x"_s;
        // This machine is 192.0.2.77 (ThisMachine). A name that is this machine hears it from any of
        // its addresses, as the hosts file's 127.0.1.1 is answered from 127.0.0.1.
        const QStringList self{u"127.0.1.1"_s};
        QTest::newRow("this machine as 127.0.1.1, from 127.0.0.1")
            << self << u"127.0.0.1"_s << 1001 << u"x"_s << u"相手>x"_s << u"PCA"_s << u"相手>x"_s;
        QTest::newRow("this machine, from its LAN address")
            << self << u"192.0.2.77"_s << 1001 << u"x"_s << u"相手>x"_s << u"PCA"_s << u"相手>x"_s;
        QTest::newRow("this machine, from ::1")
            << self << u"::1"_s << 1001 << u"x"_s << u"相手>x"_s << u"PCA"_s << u"相手>x"_s;
        QTest::newRow("this machine by its LAN address, from loopback")
            << QStringList{u"192.0.2.77"_s} << u"127.0.0.1"_s << 1001 << u"x"_s << u"相手>x"_s << u"PCA"_s
            << u"相手>x"_s;
        QTest::newRow("this machine, another port")
            << self << u"127.0.0.1"_s << 40001 << u"x"_s << u"他のPC(127.0.0.1:40001)>x"_s << u"127.0.0.1:40001"_s
            << u"他のPC>x"_s;
        QTest::newRow("this machine, another host")
            << self << u"192.0.2.9"_s << 1001 << u"x"_s << u"他のPC(192.0.2.9)>x"_s << u"192.0.2.9"_s << u"他のPC>x"_s;
        QTest::newRow("another host's name, from this machine")
            << partner << u"192.0.2.77"_s << 1001 << u"x"_s << u"他のPC(192.0.2.77)>x"_s << u"192.0.2.77"_s
            << u"他のPC>x"_s;
    }
    void onlyThePartnersAddressAndPortSpeakAsThePartner()
    {
        QFETCH(QStringList, partner);
        QFETCH(QString, from);
        QFETCH(int, fromPort);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(QString, logSender);
        QFETCH(QString, logMessage);
        ManualClock clock;
        chat::core::SenderClassifier classifier(clock.function(), [] { return addresses({ThisMachine, u"::1"_s}); });
        QVERIFY(classifier.connectTo(u"PCA"_s, 1001).isEmpty());
        QVERIFY(classifier.lookupAnswered(u"PCA"_s, addresses(partner)).isEmpty());
        const QList<chat::core::ReceivedLine> lines = classifier.arrived(arrival(text, from, quint16(fromPort)));
        QCOMPARE(lines.size(), 1);
        const chat::core::ReceivedLine& line = lines.constFirst();
        QCOMPARE(line.fromPartner, shown.startsWith(u"相手>"_s));
        QCOMPARE(line.displayLine, shown);
        QCOMPARE(line.logLine, (common::LogLine{logSender, u"PCB"_s, logMessage, u"2002/10/18 9:05:03"_s}));
        QCOMPARE(line.source, line.fromPartner ? QString() : logSender);
    }

    void holdsDatagramsUntilTheFirstLookupAnswers_data()
    {
        QTest::addColumn<int>("answerAfterMs"); // -1: never
        QTest::addColumn<QStringList>("answer");
        QTest::addColumn<bool>("partnerRecognised");
        QTest::newRow("answered in time") << 1500 << QStringList{u"192.0.2.5"_s} << true;
        QTest::newRow("answered, name unknown") << 1500 << QStringList() << false;
        QTest::newRow("no answer within 2 s") << -1 << QStringList() << false;
        QTest::newRow("answer after 2 s") << 2500 << QStringList{u"192.0.2.5"_s} << false;
    }
    void holdsDatagramsUntilTheFirstLookupAnswers()
    {
        QFETCH(int, answerAfterMs);
        QFETCH(QStringList, answer);
        QFETCH(bool, partnerRecognised);
        ManualClock clock;
        chat::core::SenderClassifier classifier(clock.function());
        QVERIFY(classifier.connectTo(u"PCA"_s, 1001).isEmpty());
        QVERIFY(!classifier.holdDeadline());
        QVERIFY(classifier.arrived(arrival(u"1"_s, u"192.0.2.5"_s, 1001)).isEmpty());
        clock.now += 500ms;
        QVERIFY(classifier.arrived(arrival(u"2"_s, u"192.0.2.9"_s, 1001)).isEmpty());
        QCOMPARE(classifier.holdDeadline(), std::optional(chat::core::SenderClassifier::TimePoint{} + 2s));

        QList<chat::core::ReceivedLine> released;
        for (int ms = 500; ms <= 3000 && released.isEmpty(); ms += 100) {
            clock.now = chat::core::SenderClassifier::TimePoint{} + std::chrono::milliseconds(ms);
            released =
                ms == answerAfterMs ? classifier.lookupAnswered(u"PCA"_s, addresses(answer)) : classifier.releaseDue();
            if (!released.isEmpty())
                QCOMPARE(ms, std::min(answerAfterMs < 0 ? 2000 : answerAfterMs, 2000));
        }
        // In arrival order, nothing lost; the stranger is never the partner.
        QCOMPARE(released.size(), 2);
        QCOMPARE(released.at(0).logLine.message, partnerRecognised ? u"相手>1"_s : u"他のPC>1"_s);
        QCOMPARE(released.at(1).displayLine, u"他のPC(192.0.2.9)>2"_s);
        QVERIFY(!classifier.holdDeadline());
        QCOMPARE(classifier.arrived(arrival(u"3"_s, u"192.0.2.9"_s, 1001)).size(), 1);
    }

    void aFloodIsNotHeld()
    {
        ManualClock clock;
        chat::core::SenderClassifier classifier(clock.function());
        QVERIFY(classifier.connectTo(u"PCA"_s, 1001).isEmpty());
        QList<chat::core::ReceivedLine> released;
        for (int i = 0; i <= chat::core::SenderClassifier::MaxHeld && released.isEmpty(); ++i)
            released = classifier.arrived(arrival(QString::number(i), u"192.0.2.9"_s, 1001));
        QCOMPARE(released.size(), chat::core::SenderClassifier::MaxHeld + 1);
        QCOMPARE(released.constLast().logLine.message, u"他のPC>%1"_s.arg(chat::core::SenderClassifier::MaxHeld));
    }

    void looksThePartnerUpAgainAfterAStrangerAtMostEvery10s_data()
    {
        // Steps at milliseconds after the connect (whose lookup answers at once with 192.0.2.5):
        // s a stranger's datagram, p the partner's, o the partner's address from another port,
        // ?1 / ?0 a lookup is / is not due now.
        QTest::addColumn<QString>("steps");
        QTest::newRow("stranger") << u"s@3000 ?0@3000 ?1@10000 ?0@10001 s@12000 ?0@19999 ?1@20000"_s;
        QTest::newRow("only when a stranger came") << u"p@11000 o@11000 ?0@30000 s@30000 ?1@30000"_s;
    }
    void looksThePartnerUpAgainAfterAStrangerAtMostEvery10s()
    {
        QFETCH(QString, steps);
        ManualClock clock;
        chat::core::SenderClassifier classifier(clock.function());
        QVERIFY(classifier.connectTo(u"PCA"_s, 1001).isEmpty());
        classifier.lookupAnswered(u"PCA"_s, {QHostAddress(u"192.0.2.5"_s)});
        for (const QString& step : steps.split(u' ')) {
            const QStringList parts = step.split(u'@');
            clock.now = chat::core::SenderClassifier::TimePoint{} + std::chrono::milliseconds(parts.at(1).toInt());
            const QString what = parts.at(0);
            if (what == u"s"_s)
                classifier.arrived(arrival(u"x"_s, u"192.0.2.9"_s, 1001));
            else if (what == u"p"_s)
                classifier.arrived(arrival(u"x"_s, u"192.0.2.5"_s, 1001));
            else if (what == u"o"_s)
                classifier.arrived(arrival(u"x"_s, u"192.0.2.5"_s, 40001));
            else
                QVERIFY2(classifier.takeRelookupRequest() == (what == u"?1"_s), qPrintable(step));
        }
    }

    void aNewAddressIsRecognisedAndAFailedLookupForgetsNothing()
    {
        ManualClock clock;
        chat::core::SenderClassifier classifier(clock.function());
        QVERIFY(classifier.connectTo(u"PCA"_s, 1001).isEmpty());
        classifier.lookupAnswered(u"PCA"_s, {QHostAddress(u"192.0.2.5"_s)});
        QVERIFY(classifier.lookupAnswered(u"PCA"_s, {}).isEmpty());
        QVERIFY(classifier.isPartner(QHostAddress(u"192.0.2.5"_s), 1001));
        classifier.lookupAnswered(u"PCA"_s, {QHostAddress(u"192.0.2.6"_s)});
        QVERIFY(classifier.arrived(arrival(u"x"_s, u"192.0.2.6"_s, 1001)).constFirst().fromPartner);
        QVERIFY(!classifier.arrived(arrival(u"x"_s, u"192.0.2.5"_s, 1001)).constFirst().fromPartner);
        // A new connection forgets the old partner; what was held for the old one is not lost.
        QVERIFY(classifier.connectTo(u"PCB"_s, 1001).isEmpty());
        QVERIFY(classifier.arrived(arrival(u"held"_s, u"192.0.2.6"_s, 1001)).isEmpty());
        const QList<chat::core::ReceivedLine> earlier = classifier.connectTo(u"PCC"_s, 1002);
        QCOMPARE(earlier.size(), 1);
        QCOMPARE(earlier.constFirst().logLine.message, u"他のPC>held"_s);
        // A late answer for the old partner is not taken for the new one's.
        classifier.lookupAnswered(u"PCB"_s, {QHostAddress(u"192.0.2.6"_s)});
        QVERIFY(classifier.arrived(arrival(u"x"_s, u"192.0.2.6"_s, 1002)).isEmpty());
        const QList<chat::core::ReceivedLine> released =
            classifier.lookupAnswered(u"PCC"_s, {QHostAddress(u"192.0.2.7"_s)});
        QCOMPARE(released.size(), 1);
        QVERIFY(!released.constFirst().fromPartner);
        QVERIFY(!classifier.isPartner(QHostAddress(u"192.0.2.6"_s), 1001));
        QVERIFY(classifier.isPartner(QHostAddress(u"192.0.2.7"_s), 1002));
    }
};

QTEST_GUILESS_MAIN(TestChatRules)
#include "tst_chatrules.moc"
