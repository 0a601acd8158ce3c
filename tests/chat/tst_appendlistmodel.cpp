// The conversation lists' model: Qt's model checker watches every append; a burst reaches the views
// as one insertion, and the rows read back as the lists show them.
#include "chat/appendlistmodel.h"

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
        chat::DisplayLineModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

        model.append(u"貴方>hello"_s); // the first: a row at once
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(inserted.size(), 1);

        for (int i = 0; i < 1000; ++i) // a burst right after it
            model.append(u"相手>%1"_s.arg(i));
        QCOMPARE(model.items().size(), 1001); // stored at once
        QVERIFY(model.rowCount() < 1001);     // shown later (a stalled machine may show the first at once)

        QTRY_COMPARE(model.rowCount(), 1001);
        QVERIFY2(inserted.size() <= 3, "a burst is shown in one insertion, not one per row");
        QCOMPARE(inserted.last().at(2).toInt(), 1000);
        QCOMPARE(model.index(1000, 0).data(Qt::AccessibleTextRole).toString(), u"相手>999"_s);
        QVERIFY(!model.index(0, 0).data(Qt::EditRole).isValid());
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(model.rowCount(model.index(0, 0)), 0); // a list: no row has children

        QTest::qWait(5);
        model.append(u"貴方>after a pause"_s);
        QCOMPARE(model.rowCount(), 1002);
    }

    void logLinesKeepTheirFieldsAndShowThemJoined()
    {
        chat::LogLineModel model;
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
