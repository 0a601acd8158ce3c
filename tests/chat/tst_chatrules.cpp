// The chat's rules without a window: the bind failure text, the checks before a send, the display lines.
#include "chat/chatrules.h"
#include "chat/messagelines.h"
#include "chat/outgoingcheck.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestChatRules final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bindFailureNamesPortAndReason_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no permission") << 10013
                                       << u"ポート1002を開けませんでした。\nこのポートを使う権限がありません。"_s;
        QTest::newRow("in use") << 10048
                                << u"ポート1002を開けませんでした。\n他のプログラムがこのポートを使用しています。"_s;
        QTest::newRow("other") << 10049 << u"ポート1002を開けませんでした。\nシステムの理由"_s;
    }
    void bindFailureNamesPortAndReason()
    {
        QFETCH(int, code);
        QFETCH(QString, expected);
        QCOMPARE(chat::bindFailureText(1002, code, u"システムの理由"_s), expected);
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
        const chat::OutgoingCheck check = chat::checkOutgoing(text);
        QCOMPARE(check.refusal, refusal);
        QCOMPARE(check.accepted(), refusal.isEmpty());
    }

    void unrepresentableCharactersAreListedReadably()
    {
        // Each once, in order, at most ten; invisible ones and lone surrogates by their code.
        QString many;
        for (char32_t c = 0x1F600; c < 0x1F60C; ++c)
            many += QString::fromUcs4(&c, 1);
        const QString listed = chat::checkOutgoing(many).refusal;
        QVERIFY(listed.startsWith(u"次の文字は送信できません："_s));
        QVERIFY(listed.contains(QString::fromUcs4(U"\U0001F609")));
        QVERIFY(!listed.contains(QString::fromUcs4(U"\U0001F60A")));
        QCOMPARE(chat::checkOutgoing(u"\u200B"_s).refusal, u"次の文字は送信できません：U+200B"_s);
        QCOMPARE(chat::checkOutgoing(QString(QChar(0xD800))).refusal, u"次の文字は送信できません：U+D800"_s);
        QCOMPARE(chat::checkOutgoing(u"😀\u0301"_s).refusal, u"次の文字は送信できません：😀 U+0301"_s);
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
        QCOMPARE(chat::partnerDisplayLine(received), u"相手>"_s + shown);
        QCOMPARE(chat::ownDisplayLine(received), u"貴方>"_s + shown);
    }
};

QTEST_GUILESS_MAIN(TestChatRules)
#include "tst_chatrules.moc"
