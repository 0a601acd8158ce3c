// A window shown through SingleWindow exists at most once and is made afresh after it closed.
#include "widgets/singlewindow.h"

#include <QApplication>
#include <QTest>

class TestSingleWindow final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsOneWindowAndRecreatesItAfterClose()
    {
        int made = 0;
        widgets::SingleWindow holder([&made] {
            ++made;
            return new QWidget;
        });
        holder.show();
        holder.show();
        QCOMPARE(made, 1);
        QPointer<QWidget> first = holder.window();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QVERIFY(first->testAttribute(Qt::WA_DeleteOnClose));

        QVERIFY(first->close());
        QTRY_VERIFY(!first); // destroyed, not just hidden
        QVERIFY(!holder.window());

        holder.show();
        QCOMPARE(made, 2);
        QVERIFY(holder.window()->isVisible());
        holder.window()->close();
    }

    void hiddenWindowIsShownAgainNotRecreated()
    {
        int made = 0;
        widgets::SingleWindow holder([&made] {
            ++made;
            return new QWidget;
        });
        holder.show();
        holder.window()->hide();
        holder.show();
        QCOMPARE(made, 1);
        QVERIFY(holder.window()->isVisible());
        delete holder.window();
        QVERIFY(!holder.window());
    }

    void showRightAfterCloseMakesAFreshWindow()
    {
        int made = 0;
        widgets::SingleWindow holder([&made] {
            ++made;
            return new QWidget;
        });
        holder.show();
        QPointer<QWidget> first = holder.window();
        QVERIFY(first->close());
        // The closed window's deletion is still pending: it must not be shown again.
        QVERIFY(first);
        holder.show();
        QCOMPARE(made, 2);
        QVERIFY(holder.window() != first);
        QVERIFY(holder.window()->isVisible());
        QTRY_VERIFY(!first);
        holder.window()->close();
    }

    void withoutFactoryNothingHappens()
    {
        widgets::SingleWindow holder;
        holder.show();
        QVERIFY(!holder.window());
        widgets::SingleWindow failing([] { return nullptr; });
        failing.show();
        QVERIFY(!failing.window());
    }

    void cleanup() { QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty()); }
};

QTEST_MAIN(TestSingleWindow)
#include "tst_singlewindow.moc"
