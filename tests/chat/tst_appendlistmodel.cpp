// The conversation lists' model: Qt's model checker watches every append, and the rows read back
// as the lists show them.
#include "chat/appendlistmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestAppendListModel final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void displayLinesAppendAtTheEnd()
    {
        chat::DisplayLineModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.append(u"貴方>hello"_s);
        model.append(u"相手>こんにちは"_s);

        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(inserted.size(), 2);
        QCOMPARE(inserted.last().at(1).toInt(), 1);
        QCOMPARE(inserted.last().at(2).toInt(), 1);
        QCOMPARE(model.index(0, 0).data().toString(), u"貴方>hello"_s);
        QCOMPARE(model.index(1, 0).data(Qt::AccessibleTextRole).toString(), u"相手>こんにちは"_s);
        QVERIFY(!model.index(1, 0).data(Qt::EditRole).isValid());
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(model.rowCount(model.index(0, 0)), 0); // a list: no row has children
    }

    void logLinesKeepTheirFieldsAndShowThemJoined()
    {
        chat::LogLineModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const common::LogLine line{u"pc1"_s, u"pc2"_s, u"相手>a,\"b\""_s, u"2002/10/18 9:05:03"_s};
        model.append(line);

        QCOMPARE(model.items(), QList<common::LogLine>{line});
        QCOMPARE(model.index(0, 0).data().toString(), u"pc1,pc2,相手>a,\"b\",2002/10/18 9:05:03"_s);
    }
};

QTEST_GUILESS_MAIN(TestAppendListModel)
#include "tst_appendlistmodel.moc"
