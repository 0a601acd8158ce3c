#include "common/mod1.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestMod1 final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void charPos_data();
    void charPos();
    void charPosLengthLimit();
};

void TestMod1::charPos_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("expected");

    QTest::newRow("absent") << u"abc"_s << u","_s << -1;
    QTest::newRow("first of several") << u"a,b,c"_s << u","_s << 2;
    QTest::newRow("empty text") << QString() << u","_s << -1;
    QTest::newRow("at the start") << u",abc"_s << u","_s << 1;
    QTest::newRow("at the end") << u"abc,"_s << u","_s << 4;
    QTest::newRow("only the key") << u","_s << u","_s << 1;
    QTest::newRow("case-sensitive") << u"abcA"_s << u"A"_s << 4;
    QTest::newRow("case-sensitive, absent") << u"abc"_s << u"A"_s << -1;
    QTest::newRow("fullwidth comma is not a comma") << u"a，b"_s << u","_s << -1;
    QTest::newRow("Japanese key") << u"こんにちは"_s << u"に"_s << 3;
    QTest::newRow("empty key") << u"a,b"_s << QString() << -1;
    QTest::newRow("two-character key") << u"a,,b"_s << u",,"_s << -1;
    // Positions count UTF-16 code units: a character outside the BMP takes two.
    QTest::newRow("after a surrogate pair") << u"😀,"_s << u","_s << 3;
    QTest::newRow("surrogate-pair key never matches") << u"a😀"_s << u"😀"_s << -1;
    QTest::newRow("embedded NUL") << u"a\0,"_s << u","_s << 3;
}

void TestMod1::charPos()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(int, expected);

    const std::optional<qint16> position = mod1::CharPos(text, key);
    QVERIFY(position.has_value());
    QCOMPARE(int(*position), expected);
}

void TestMod1::charPosLengthLimit()
{
    // The longest accepted text still reports its last position, which fits in 16 bits.
    QString longest(mod1::CharPosMaxLength, u'a');
    longest.back() = u',';
    const std::optional<qint16> last = mod1::CharPos(longest, u",");
    QVERIFY(last.has_value());
    QCOMPARE(*last, qint16{32767});

    // One character more is a failure, even when the key would be found early.
    QString tooLong = u","_s + QString(mod1::CharPosMaxLength, u'a');
    QVERIFY(!mod1::CharPos(tooLong, u",").has_value());
    QVERIFY(!mod1::CharPos(tooLong, u",,").has_value());
}

QTEST_GUILESS_MAIN(TestMod1)
#include "tst_mod1.moc"
