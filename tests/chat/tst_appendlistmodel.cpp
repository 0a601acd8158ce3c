// The conversation lists' model: Qt's model checker watches every append; a burst reaches the views
// as one insertion, and the rows read back as the lists show them.
#include "chat/core/appendlistmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestAppendListModel final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsFollowABurstTogether()
    {
        chat::core::DisplayLineModel model;
        qint64 now = 0; // a burst is what the clock says it is, however fast the machine
        model.setClock([&now] { return now; });
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

        model.append(u"貴方>hello"_s); // the first: a row at once
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(inserted.size(), 1);

        for (int i = 0; i < 1000; ++i) // a burst right after it
            model.append(u"相手>%1"_s.arg(i));
        QCOMPARE(model.items().size(), 1001); // stored at once
        QCOMPARE(model.rowCount(), 1);        // shown later

        QTRY_COMPARE(model.rowCount(), 1001);
        QVERIFY2(inserted.size() <= 3, "a burst is shown in one insertion, not one per row");
        QCOMPARE(inserted.last().at(2).toInt(), 1000);
        QCOMPARE(model.index(1000, 0).data(Qt::AccessibleTextRole).toString(), u"相手>999"_s);
        QVERIFY(!model.index(0, 0).data(Qt::EditRole).isValid());
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(model.rowCount(model.index(0, 0)), 0); // a list: no row has children

        now += 5'000'000; // 5 ms later
        model.append(u"貴方>after a pause"_s);
        QCOMPARE(model.rowCount(), 1002);
    }

    // A view's work on an inserted row (layout, scrolling) happens inside the append that shows the
    // row; a row whose layout takes more than a millisecond must not end the burst it belongs to.
    void aRowRightAfterTheViewsWorkStaysInItsBurst_data()
    {
        QTest::addColumn<qint64>("viewWorkNs"); // what the views spend on an insertion
        QTest::addColumn<qint64>("pauseNs");    // from the first append's return to the second append
        QTest::addColumn<bool>("shownAtOnce");
        QTest::newRow("back to back, views quick") << qint64(0) << qint64(0) << false;
        QTest::newRow("back to back, views busy 5 ms") << qint64(5'000'000) << qint64(0) << false;
        QTest::newRow("after a 2 ms pause, views busy 5 ms") << qint64(5'000'000) << qint64(2'000'000) << true;
    }
    void aRowRightAfterTheViewsWorkStaysInItsBurst()
    {
        QFETCH(qint64, viewWorkNs);
        QFETCH(qint64, pauseNs);
        QFETCH(bool, shownAtOnce);
        chat::core::DisplayLineModel model;
        qint64 now = 0;
        model.setClock([&now] { return now; });
        connect(&model, &QAbstractItemModel::rowsInserted, this, [&] { now += viewWorkNs; });

        model.append(u"相手>first"_s);
        QCOMPARE(model.rowCount(), 1);
        now += pauseNs;
        model.append(u"相手>second"_s);
        QCOMPARE(model.rowCount() == 2, shownAtOnce);
        QTRY_COMPARE(model.rowCount(), 2);
    }

    void keepsOnlyTheLastLinesAndDropsRowsInBatches()
    {
        chat::core::AppendListModel<QString, 5> model;
        qint64 now = 0;
        model.setClock([&now] { return now; });
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        for (int i = 0; i < 7; ++i) { // one at a time: each shows at once and pushes out the oldest
            now += 2'000'000;
            model.append(QString::number(i));
        }
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.index(0, 0).data().toString(), u"2"_s);

        for (int i = 7; i < 1007; ++i) // a burst: stored capped at once, rows follow together
            model.append(QString::number(i));
        QCOMPARE(model.items(), (QList<QString>{u"1002"_s, u"1003"_s, u"1004"_s, u"1005"_s, u"1006"_s}));
        const qsizetype removalsBefore = removed.size();
        QTRY_COMPARE(model.index(4, 0).data().toString(), u"1006"_s);
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.index(0, 0).data().toString(), u"1002"_s);
        QVERIFY2(removed.size() - removalsBefore <= 3, "a burst removes rows in one go, not one per line");

        // List1 keeps its last 20,000 lines; List2's model keeps every log line.
        chat::core::DisplayLineModel list1;
        chat::core::LogLineModel list2;
        for (int i = 0; i <= 20000; ++i) {
            list1.append(QString::number(i));
            list2.append({QString::number(i), {}, {}, {}});
        }
        QCOMPARE(list1.items().size(), 20000);
        QCOMPARE(list1.items().constFirst(), u"1"_s);
        QCOMPARE(list2.items().size(), 20001);
        QTRY_COMPARE(list1.rowCount(), 20000);
        QCOMPARE(list1.index(19999, 0).data().toString(), u"20000"_s);
    }

    void logLinesKeepTheirFieldsAndShowThemJoined()
    {
        chat::core::LogLineModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const common::LogLine line{u"pc1"_s, u"pc2"_s, u"相手>a,\"b\""_s, u"2002/10/18 9:05:03"_s};
        model.append(line);

        QCOMPARE(model.items(), QList<common::LogLine>{line});
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, 0).data().toString(), u"pc1,pc2,相手>a,\"b\",2002/10/18 9:05:03"_s);
    }
};

QTEST_GUILESS_MAIN(TestAppendListModel)
#include "tst_appendlistmodel.moc"
