#include "common/visibletext.h"
#include "messenger/service/ratelimiter.h"

#include <QTest>

using namespace messenger::service;
using common::TextShape;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestMessengerText final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void visibleText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("multiLine");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain japanese") << u"こんにちは <b>"_s << true << u"こんにちは <b>"_s;
        QTest::newRow("c0 controls and del")
            << u"a\u0000b\u0007c\u001Bd\u007F"_s << true << u"a\u2400b\u2407c\u241Bd\u2421"_s;
        QTest::newRow("message keeps lines and tabs") << u"1\n2\r\n3\t4"_s << true << u"1\n2\n3\t4"_s;
        QTest::newRow("lone carriage return") << u"1\r2"_s << true << u"1\u240D2"_s;
        QTest::newRow("name shows every break") << u"a\nb\r\nc\td"_s << false << u"a\u240Ab\u240D\u240Ac\u2409d"_s;
        QTest::newRow("name line separator") << u"a\u2028b"_s << false << u"a<U+2028>b"_s;
        QTest::newRow("c1 control") << u"a\u0085b\u009Bc"_s << true << u"a<U+0085>b<U+009B>c"_s;
        QTest::newRow("bidi override") << u"evil\u202Etxt.exe"_s << false << u"evil<U+202E>txt.exe"_s;
        QTest::newRow("bidi isolates") << u"\u2066x\u2069"_s << true << u"<U+2066>x<U+2069>"_s;
        QTest::newRow("directional marks") << u"a\u200Eb\u200Fc\u061Cd"_s << true << u"a<U+200E>b<U+200F>c<U+061C>d"_s;
        QTest::newRow("line separator in a message") << u"a\u2028b"_s << true << u"a\u2028b"_s;
        QTest::newRow("surrogate pair stays") << u"😀"_s << false << u"😀"_s;
    }
    void visibleText()
    {
        QFETCH(QString, text);
        QFETCH(bool, multiLine);
        QFETCH(QString, expected);
        QCOMPARE(common::visibleText(text, multiLine ? TextShape::MultiLine : TextShape::SingleLine), expected);
    }

    void rateLimitSlidesWithTime()
    {
        RateLimiter limiter(5, 60s);
        const QHostAddress a(u"192.0.2.1"_s);
        const QHostAddress b(u"192.0.2.2"_s);
        const RateLimiter::Clock::time_point t0{};
        for (int i = 0; i < 5; ++i)
            QVERIFY(limiter.admit(a, t0 + i * 1s));
        QVERIFY(!limiter.admit(a, t0 + 10s));
        QVERIFY(limiter.admit(b, t0 + 10s)); // another sender has its own count
        // Refusals are not counted: once the first event leaves the window, one more is admitted.
        QVERIFY(!limiter.admit(a, t0 + 59s));
        QVERIFY(limiter.admit(a, t0 + 60s));
        QVERIFY(!limiter.admit(a, t0 + 60s));
        QVERIFY(limiter.admit(a, t0 + 61s));
    }

    void rateLimitCountsMappedIpv4AsOneSender()
    {
        RateLimiter limiter(2, 60s);
        const RateLimiter::Clock::time_point t0{};
        QVERIFY(limiter.admit(QHostAddress(u"192.0.2.7"_s), t0));
        QVERIFY(limiter.admit(QHostAddress(u"::ffff:192.0.2.7"_s), t0));
        QVERIFY(!limiter.admit(QHostAddress(u"192.0.2.7"_s), t0));
        QVERIFY(limiter.admit(QHostAddress(u"fe80::1%1"_s), t0));
        QVERIFY(limiter.admit(QHostAddress(u"fe80::1%2"_s), t0));
        QVERIFY(!limiter.admit(QHostAddress(u"fe80::1"_s), t0));
    }
};

QTEST_GUILESS_MAIN(TestMessengerText)
#include "tst_messengertext.moc"
