// The browser dialog over a scripted computer list, on the offscreen platform; and the whole
// browser where no system bus can be reached.

#include "net/computerbrowsermodel.h"
#include "support/accessibility.h"
#include "widgets/avahicomputerbrowser.h"
#include "widgets/computerbrowserdialog.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QDBusConnection>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <optional>

using net::ComputerBrowserModel;
using net::ServiceKey;
using widgets::ComputerBrowserDialog;
using Problem = net::ComputerBrowserModel::Problem;

namespace {

void addComputer(ComputerBrowserModel& model, const QString& host, const QString& type)
{
    const ServiceKey key{1, 0, host, type, QStringLiteral("local")};
    model.serviceFound(key);
    model.serviceResolved(key, host + QStringLiteral(".local"));
}

/// The dialog's parts, found by their object names.
struct Parts
{
    explicit Parts(ComputerBrowserDialog& dialog)
        : list(dialog.findChild<QTableView*>(QStringLiteral("computerList")))
        , status(dialog.findChild<QLabel*>(QStringLiteral("statusLabel")))
        , refresh(dialog.findChild<QPushButton*>(QStringLiteral("refreshButton")))
        , buttons(dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttons")))
    {}
    QPushButton* ok() const { return buttons->button(QDialogButtonBox::Ok); }
    QPushButton* cancel() const { return buttons->button(QDialogButtonBox::Cancel); }
    void select(int row) const { list->selectRow(row); }

    QTableView* list;
    QLabel* status;
    QPushButton* refresh;
    QDialogButtonBox* buttons;
};

} // namespace

class TestComputerBrowserDialog final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void okReturnsTheSelectedComputer();
    void doubleClickChoosesTheComputer();
    void cancelReturnsNothing();
    void vanishedSelectionCannotBeAccepted();
    void refreshAndStatusFollowTheModel();
    void statusLineSaysWhatToDo_data();
    void statusLineSaysWhatToDo();
    void withoutSystemBusTheBrowserSaysWhyAndCancels();
    void everyControlCanBeAnnounced();

private:
    ComputerBrowserModel m_model;
};

void TestComputerBrowserDialog::init()
{
    m_model.beginSearch();
    addComputer(m_model, QStringLiteral("alpha"), QStringLiteral("_workstation._tcp"));
    addComputer(m_model, QStringLiteral("pcb"), QStringLiteral("_tavik-msg._tcp"));
    m_model.searchFinished();
}

void TestComputerBrowserDialog::cleanup()
{
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestComputerBrowserDialog::okReturnsTheSelectedComputer()
{
    ComputerBrowserDialog dialog(m_model);
    dialog.show();
    Parts parts(dialog);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("コンピュータの参照"));
    QCOMPARE(parts.list->model()->rowCount(), 2);
    QCOMPARE(parts.list->model()->index(1, ComputerBrowserModel::MessengerColumn).data().toString(),
             QStringLiteral("通知サービスあり"));
    QVERIFY(!parts.ok()->isEnabled()); // nothing chosen yet

    parts.select(1);
    QVERIFY(parts.ok()->isEnabled());
    QTest::mouseClick(parts.ok(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.chosenName(), QStringLiteral("pcb"));
}

void TestComputerBrowserDialog::doubleClickChoosesTheComputer()
{
    ComputerBrowserDialog dialog(m_model);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    Parts parts(dialog);
    const QRect cell = parts.list->visualRect(parts.list->model()->index(0, ComputerBrowserModel::NameColumn));
    // A double click is preceded by a click, as from a real mouse.
    QTest::mouseClick(parts.list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(parts.list->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.chosenName(), QStringLiteral("alpha"));
}

void TestComputerBrowserDialog::cancelReturnsNothing()
{
    {
        ComputerBrowserDialog dialog(m_model);
        dialog.show();
        Parts parts(dialog);
        parts.select(0);
        QTest::mouseClick(parts.cancel(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.chosenName(), QString());
    }
    {
        ComputerBrowserDialog dialog(m_model);
        dialog.show();
        Parts(dialog).select(0);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.chosenName(), QString());
    }
}

void TestComputerBrowserDialog::vanishedSelectionCannotBeAccepted()
{
    ComputerBrowserDialog dialog(m_model);
    dialog.show();
    Parts parts(dialog);
    parts.select(1);
    QVERIFY(parts.ok()->isEnabled());
    m_model.serviceRemoved(
        ServiceKey{1, 0, QStringLiteral("pcb"), QStringLiteral("_tavik-msg._tcp"), QStringLiteral("local")});
    // The selection does not jump to the neighbouring computer.
    QVERIFY(parts.list->selectionModel()->selectedRows().isEmpty());
    QVERIFY(!parts.ok()->isEnabled());
    dialog.accept(); // Enter with nothing selected
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.chosenName(), QString());
    dialog.reject();
}

void TestComputerBrowserDialog::refreshAndStatusFollowTheModel()
{
    ComputerBrowserDialog dialog(m_model);
    dialog.show();
    Parts parts(dialog);
    QCOMPARE(parts.status->text(), QStringLiteral("2 台のコンピュータが見つかりました。"));

    QSignalSpy refresh(&dialog, &ComputerBrowserDialog::refreshRequested);
    QTest::mouseClick(parts.refresh, Qt::LeftButton);
    QCOMPARE(refresh.size(), 1);

    parts.select(0);
    m_model.setUnavailable(ComputerBrowserModel::Problem::NoDaemon);
    QVERIFY(parts.status->text().contains(QStringLiteral("Avahi デーモンが動いていません")));
    QCOMPARE(parts.list->model()->rowCount(), 0);
    QVERIFY(!parts.ok()->isEnabled());
    QVERIFY(parts.cancel()->isEnabled());
    dialog.reject();
}

void TestComputerBrowserDialog::statusLineSaysWhatToDo_data()
{
    QTest::addColumn<int>("computers");
    QTest::addColumn<std::optional<Problem>>("problem"); // none: the search ends normally
    QTest::addColumn<bool>("unavailable");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("remedy");
    const QString startAvahi = QStringLiteral("sudo systemctl enable --now avahi-daemon");
    const std::optional<Problem> none;
    QTest::newRow("none found") << 0 << none << false << QStringLiteral("コンピュータが見つかりませんでした。")
                                << QString();
    QTest::newRow("two found") << 2 << none << false << QStringLiteral("2 台のコンピュータが見つかりました。")
                               << QString();
    QTest::newRow("no system bus") << 0 << std::optional(Problem::NoSystemBus) << true
                                   << QStringLiteral("D-Bus に接続できません")
                                   << QStringLiteral("systemctl status dbus");
    QTest::newRow("no daemon") << 0 << std::optional(Problem::NoDaemon) << true
                               << QStringLiteral("Avahi デーモンが動いていません") << startAvahi;
    QTest::newRow("daemon stopped") << 2 << std::optional(Problem::DaemonStopped) << true
                                    << QStringLiteral("Avahi デーモンが停止しました") << startAvahi;
    QTest::newRow("daemon error") << 2 << std::optional(Problem::DaemonFailed) << false << QStringLiteral("エラー")
                                  << QStringLiteral("sudo systemctl restart avahi-daemon");
}

void TestComputerBrowserDialog::statusLineSaysWhatToDo()
{
    QFETCH(int, computers);
    QFETCH(std::optional<Problem>, problem);
    QFETCH(bool, unavailable);
    QFETCH(QString, cause);
    QFETCH(QString, remedy);
    ComputerBrowserModel model;
    model.beginSearch();
    for (int i = 0; i < computers; ++i)
        addComputer(model, QStringLiteral("pc%1").arg(i), QStringLiteral("_workstation._tcp"));
    model.searchFinished();
    if (problem && unavailable)
        model.setUnavailable(*problem);
    else if (problem)
        model.setFailed(*problem);
    ComputerBrowserDialog dialog(model);
    const QString text = Parts(dialog).status->text();
    QVERIFY2(text.contains(cause) && text.contains(remedy), qPrintable(text));
    // Whatever the cause, the name can still be typed.
    QCOMPARE(text.contains(QStringLiteral("直接入力")), unavailable);
}

void TestComputerBrowserDialog::everyControlCanBeAnnounced()
{
    ComputerBrowserDialog dialog(m_model);
    dialog.show();
    QCOMPARE(testsupport::controlsWithoutAccessibleText(&dialog), QStringList());

    // The status line's name follows what it says, or a screen reader would never read the reason.
    const Parts parts(dialog);
    m_model.setUnavailable(ComputerBrowserModel::Problem::NoDaemon);
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(parts.status);
    QVERIFY(status);
    QVERIFY(status->text(QAccessible::Name).contains(QStringLiteral("Avahi デーモンが動いていません")));
    dialog.reject();
}

void TestComputerBrowserDialog::withoutSystemBusTheBrowserSaysWhyAndCancels()
{
    const QDBusConnection noBus =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/tavik-test-bus"), QStringLiteral("nobus"));
    QVERIFY(!noBus.isConnected());

    // The dialog runs its own event loop; a timer on that loop plays the user.
    QString shown;
    QTimer user;
    user.setInterval(10);
    connect(&user, &QTimer::timeout, this, [&shown, &user] {
        auto* dialog = qobject_cast<ComputerBrowserDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        user.stop();
        Parts parts(*dialog);
        shown = parts.status->text();
        QTest::mouseClick(parts.cancel(), Qt::LeftButton);
    });
    user.start();
    widgets::AvahiComputerBrowser browser(noBus);
    const std::optional<QString> chosen = browser.browse(nullptr);
    QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));

    QVERIFY(!chosen.has_value());
    QVERIFY2(shown.contains(QStringLiteral("このネットワークのコンピュータを探せません")), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("D-Bus")), qPrintable(shown));
    // The bus's own words name a socket, not what to do; they stay out of the dialog.
    for (const QString& raw : {QStringLiteral("Failed"), QStringLiteral("socket"), QStringLiteral("/nonexistent")})
        QVERIFY2(!shown.contains(raw), qPrintable(shown));
}

QTEST_MAIN(TestComputerBrowserDialog)
#include "tst_computerbrowserdialog.moc"
