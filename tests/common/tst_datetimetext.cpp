#include "common/datetimetext.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

class TestDateTimeText final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void dateTimeText_data();
    void dateTimeText();
    void independentOfLocale();
    void invalidDateTime();
    void systemClockIsLocalNow();
    void cacheMakesANewTextForEachSecond();
};

void TestDateTimeText::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestDateTimeText::dateTimeText_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("expected");

    const auto at = [](int y, int mo, int d, int h, int mi, int s, int ms = 0) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
    };
    QTest::newRow("morning, single-digit hour") << at(2002, 10, 18, 9, 5, 3) << u"2002/10/18 9:05:03"_s;
    QTest::newRow("last second of the day") << at(2002, 10, 18, 23, 59, 59) << u"2002/10/18 23:59:59"_s;
    QTest::newRow("single-digit month and day") << at(2003, 1, 2, 12, 0, 0) << u"2003/01/02 12:00:00"_s;
    QTest::newRow("midnight gives the date alone") << at(2002, 10, 18, 0, 0, 0) << u"2002/10/18"_s;
    QTest::newRow("first second after midnight") << at(2002, 10, 18, 0, 0, 1) << u"2002/10/18 0:00:01"_s;
    QTest::newRow("first minute after midnight") << at(2002, 10, 18, 0, 1, 0) << u"2002/10/18 0:01:00"_s;
    QTest::newRow("noon") << at(2002, 10, 18, 12, 0, 0) << u"2002/10/18 12:00:00"_s;
    // Only whole seconds are shown, so a fraction of the first second is still midnight.
    QTest::newRow("midnight plus milliseconds") << at(2002, 10, 18, 0, 0, 0, 500) << u"2002/10/18"_s;
    QTest::newRow("milliseconds dropped") << at(2002, 10, 18, 9, 5, 3, 999) << u"2002/10/18 9:05:03"_s;
    QTest::newRow("year below 1000 keeps four digits") << at(987, 6, 5, 4, 3, 2) << u"0987/06/05 4:03:02"_s;
    QTest::newRow("leap day") << at(2024, 2, 29, 18, 30, 0) << u"2024/02/29 18:30:00"_s;
}

void TestDateTimeText::dateTimeText()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, expected);
    QCOMPARE(common::dateTimeText(when), expected);
}

void TestDateTimeText::independentOfLocale()
{
    const QDateTime when(QDate(2002, 10, 18), QTime(9, 5, 3));
    // Locales whose own forms differ in order, separators, digits and a 12-hour clock.
    for (const QLocale::Language language : {QLocale::English, QLocale::German, QLocale::Arabic, QLocale::Japanese}) {
        QLocale::setDefault(QLocale(language));
        QCOMPARE(common::dateTimeText(when), u"2002/10/18 9:05:03"_s);
    }
}

void TestDateTimeText::invalidDateTime()
{
    QCOMPARE(common::dateTimeText(QDateTime()), QString());
}

void TestDateTimeText::systemClockIsLocalNow()
{
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime now = common::systemClock()();
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(now.isValid());
    QCOMPARE(now.timeSpec(), Qt::LocalTime);
    QVERIFY(before <= now && now <= after);
}

void TestDateTimeText::cacheMakesANewTextForEachSecond()
{
    const auto at = [](int h, int mi, int s, int ms) {
        return QDateTime(QDate(2002, 10, 18), QTime(h, mi, s, ms), Qt::UTC);
    };
    struct Reading
    {
        QDateTime when;
        QString expected;
    };
    const Reading readings[] = {
        {at(9, 5, 3, 0), u"2002/10/18 9:05:03"_s},
        {at(9, 5, 3, 999), u"2002/10/18 9:05:03"_s}, // the same second
        {at(9, 5, 4, 0), u"2002/10/18 9:05:04"_s},
        {at(9, 5, 3, 500), u"2002/10/18 9:05:03"_s}, // the clock was set back
        {at(0, 0, 0, 10), u"2002/10/18"_s},
        {QDateTime(), QString()},
        {at(0, 0, 0, 10), u"2002/10/18"_s}, // an invalid reading between does not stick
    };
    common::DateTimeTextCache cache;
    for (const Reading& reading : readings)
        QCOMPARE(cache.text(reading.when), reading.expected);
}

QTEST_GUILESS_MAIN(TestDateTimeText)
#include "tst_datetimetext.moc"
