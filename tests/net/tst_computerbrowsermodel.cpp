// The computer list of the browser, driven by scripted browsing events as the Avahi session
// delivers them: no daemon needed.

#include "net/computerbrowsermodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using net::ComputerBrowserModel;
using net::ServiceKey;
using Status = net::ComputerBrowserModel::Status;
using Problem = net::ComputerBrowserModel::Problem;

namespace {

ServiceKey service(const QString& name, const QString& type, int protocol = 0, int interfaceIndex = 1)
{
    return ServiceKey{interfaceIndex, protocol, name, type, QStringLiteral("local")};
}

const QString Messenger = QStringLiteral("_tavik-msg._tcp");
const QString Workstation = QStringLiteral("_workstation._tcp");
const QString Smb = QStringLiteral("_smb._tcp");
const QString Ssh = QStringLiteral("_ssh._tcp");

} // namespace

class TestComputerBrowserModel final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void nameFromHost_data();
    void nameFromHost();
    void nameFromService_data();
    void nameFromService();

    void serviceShowsOnceResolved();
    void servicesOfOneComputerMakeOneRow();
    void messengerMarkFollowsTheService();
    void lateResolutionOfARemovedServiceIsIgnored();
    void unresolvedServiceIsNamedAfterItself();
    void reresolutionMovesTheService();
    void rowsAreSortedAndNamelessHostsSkipped();
    void daemonGoneAndBack();
    void statusLine();

private:
    std::unique_ptr<ComputerBrowserModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void TestComputerBrowserModel::init()
{
    m_model = std::make_unique<ComputerBrowserModel>();
    m_tester = std::make_unique<QAbstractItemModelTester>(m_model.get(),
                                                          QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_model->beginSearch();
}

void TestComputerBrowserModel::cleanup()
{
    m_tester.reset();
    m_model.reset();
}

void TestComputerBrowserModel::nameFromHost_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("name");
    QTest::newRow("local domain") << QStringLiteral("pcb.local") << QStringLiteral("pcb");
    QTest::newRow("trailing dot") << QStringLiteral("pcb.local.") << QStringLiteral("pcb");
    QTest::newRow("case kept") << QStringLiteral("PCB.LOCAL") << QStringLiteral("PCB");
    QTest::newRow("bare") << QStringLiteral("pcb") << QStringLiteral("pcb");
    QTest::newRow("other domain kept") << QStringLiteral("pcb.example.org.") << QStringLiteral("pcb.example.org");
    QTest::newRow("unc backslashes") << QStringLiteral("\\\\pcb") << QStringLiteral("pcb");
    QTest::newRow("trailing NULs") << QString::fromUtf16(u"pcb\0\0\0", 6) << QStringLiteral("pcb");
    QTest::newRow("text after NUL") << QString::fromUtf16(u"pcb\0.local", 10) << QStringLiteral("pcb");
    QTest::newRow("japanese") << QStringLiteral("経理部のPC.local") << QStringLiteral("経理部のPC");
    QTest::newRow("only the domain") << QStringLiteral(".local") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestComputerBrowserModel::nameFromHost()
{
    QFETCH(QString, host);
    QFETCH(QString, name);
    QCOMPARE(net::computerNameFromHost(host), name);
}

void TestComputerBrowserModel::nameFromService_data()
{
    QTest::addColumn<QString>("serviceName");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("name");
    QTest::newRow("workstation") << QStringLiteral("pcb [00:1a:2B:3c:4d:5e]") << Workstation << QStringLiteral("pcb");
    QTest::newRow("workstation without address") << QStringLiteral("pcb") << Workstation << QStringLiteral("pcb");
    QTest::newRow("workstation, other brackets")
        << QStringLiteral("pcb [lab]") << Workstation << QStringLiteral("pcb [lab]");
    QTest::newRow("address kept on other types")
        << QStringLiteral("pcb [00:1a:2b:3c:4d:5e]") << Smb << QStringLiteral("pcb [00:1a:2b:3c:4d:5e]");
    QTest::newRow("trailing NUL") << QString::fromUtf16(u"pcb\0", 4) << Ssh << QStringLiteral("pcb");
}

void TestComputerBrowserModel::nameFromService()
{
    QFETCH(QString, serviceName);
    QFETCH(QString, type);
    QFETCH(QString, name);
    QCOMPARE(net::computerNameFromService(serviceName, type), name);
}

void TestComputerBrowserModel::serviceShowsOnceResolved()
{
    const ServiceKey ssh = service(QStringLiteral("pcb"), Ssh);
    m_model->serviceFound(ssh);
    QCOMPARE(m_model->rowCount(), 0);
    m_model->serviceResolved(ssh, QStringLiteral("pcb.local"));
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->computerName(0), QStringLiteral("pcb"));
    QCOMPARE(m_model->data(m_model->index(0, ComputerBrowserModel::NameColumn)).toString(), QStringLiteral("pcb"));
    QVERIFY(!m_model->hasMessenger(0));
    QCOMPARE(m_model->computerName(1), QString());
}

void TestComputerBrowserModel::servicesOfOneComputerMakeOneRow()
{
    // One computer seen through three services, two protocols, and names in two spellings.
    const QList<ServiceKey> keys{service(QStringLiteral("pcb [00:11:22:33:44:55]"), Workstation, 0),
                                 service(QStringLiteral("pcb [00:11:22:33:44:55]"), Workstation, 1),
                                 service(QStringLiteral("Shared files"), Smb, 0),
                                 service(QStringLiteral("pcb"), Ssh, 0, 2)};
    for (const ServiceKey& key : keys) {
        m_model->serviceFound(key);
        m_model->serviceFound(key); // a repeated announcement adds nothing
        m_model->serviceResolved(key, key.type == Smb ? QStringLiteral("PCB.local") : QStringLiteral("pcb.local"));
    }
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->computerName(0), QStringLiteral("pcb"));
    QCOMPARE(m_model->rowOf(QStringLiteral("PCB")), 0);

    for (qsizetype i = 0; i < keys.size() - 1; ++i) {
        m_model->serviceRemoved(keys.at(i));
        QCOMPARE(m_model->rowCount(), 1);
    }
    m_model->serviceRemoved(keys.constLast());
    QCOMPARE(m_model->rowCount(), 0);
    m_model->serviceRemoved(keys.constLast()); // a repeated removal is harmless
    QCOMPARE(m_model->rowCount(), 0);
}

void TestComputerBrowserModel::messengerMarkFollowsTheService()
{
    const ServiceKey workstation = service(QStringLiteral("pcb [00:11:22:33:44:55]"), Workstation);
    const ServiceKey messengerV4 = service(QStringLiteral("pcb"), Messenger, 0);
    const ServiceKey messengerV6 = service(QStringLiteral("pcb"), Messenger, 1);
    for (const ServiceKey& key : {workstation, messengerV4, messengerV6}) {
        m_model->serviceFound(key);
        m_model->serviceResolved(key, QStringLiteral("pcb.local"));
    }
    const QModelIndex mark = m_model->index(0, ComputerBrowserModel::MessengerColumn);
    QVERIFY(m_model->hasMessenger(0));
    QCOMPARE(m_model->data(mark).toString(), QStringLiteral("通知サービスあり"));

    QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
    m_model->serviceRemoved(messengerV4);
    QVERIFY(m_model->hasMessenger(0)); // still announced over IPv6
    m_model->serviceRemoved(messengerV6);
    QVERIFY(!m_model->hasMessenger(0));
    QCOMPARE(m_model->data(mark).toString(), QString());
    QCOMPARE(changed.size(), 1);
    QCOMPARE(m_model->rowCount(), 1); // the workstation remains
}

void TestComputerBrowserModel::lateResolutionOfARemovedServiceIsIgnored()
{
    const ServiceKey gone = service(QStringLiteral("pcx"), Messenger);
    m_model->serviceFound(gone);
    m_model->serviceRemoved(gone);
    m_model->serviceResolved(gone, QStringLiteral("pcx.local"));
    m_model->serviceUnresolved(gone);
    QCOMPARE(m_model->rowCount(), 0);
}

void TestComputerBrowserModel::unresolvedServiceIsNamedAfterItself()
{
    const ServiceKey workstation = service(QStringLiteral("pcc [00:11:22:33:44:55]"), Workstation);
    m_model->serviceFound(workstation);
    m_model->serviceUnresolved(workstation);
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->computerName(0), QStringLiteral("pcc"));
    m_model->serviceRemoved(workstation);
    QCOMPARE(m_model->rowCount(), 0);
}

void TestComputerBrowserModel::reresolutionMovesTheService()
{
    const ServiceKey ssh = service(QStringLiteral("server"), Ssh);
    m_model->serviceFound(ssh);
    m_model->serviceResolved(ssh, QStringLiteral("old.local"));
    m_model->serviceResolved(ssh, QStringLiteral("new.local"));
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->computerName(0), QStringLiteral("new"));
    m_model->serviceRemoved(ssh);
    QCOMPARE(m_model->rowCount(), 0);
}

void TestComputerBrowserModel::rowsAreSortedAndNamelessHostsSkipped()
{
    int n = 0;
    const QStringList hosts{QStringLiteral("charlie.local"), QStringLiteral("alpha.local"),
                            QStringLiteral("Bravo.local"), QStringLiteral(".local")};
    for (const QString& host : hosts) {
        const ServiceKey key = service(QStringLiteral("s%1").arg(++n), Ssh);
        m_model->serviceFound(key);
        m_model->serviceResolved(key, host);
    }
    QCOMPARE(m_model->rowCount(), 3);
    QCOMPARE(m_model->computerName(0), QStringLiteral("alpha"));
    QCOMPARE(m_model->computerName(1), QStringLiteral("Bravo"));
    QCOMPARE(m_model->computerName(2), QStringLiteral("charlie"));
}

void TestComputerBrowserModel::daemonGoneAndBack()
{
    const ServiceKey messenger = service(QStringLiteral("pcb"), Messenger);
    const ServiceKey pending = service(QStringLiteral("pcd"), Messenger);
    m_model->serviceFound(messenger);
    m_model->serviceResolved(messenger, QStringLiteral("pcb.local"));
    m_model->serviceFound(pending);
    m_model->searchFinished();

    QSignalSpy statusChanged(m_model.get(), &ComputerBrowserModel::statusChanged);
    m_model->setUnavailable(Problem::DaemonStopped);
    QCOMPARE(statusChanged.size(), 1);
    QCOMPARE(m_model->status(), Status::Unavailable);
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->problem(), Problem::DaemonStopped);
    // A resolution that was under way when the daemon went adds nothing.
    m_model->serviceResolved(pending, QStringLiteral("pcd.local"));
    QCOMPARE(m_model->rowCount(), 0);
    m_model->searchFinished();
    QCOMPARE(m_model->status(), Status::Unavailable);

    m_model->beginSearch();
    QCOMPARE(m_model->status(), Status::Searching);
    m_model->serviceFound(messenger);
    m_model->serviceResolved(messenger, QStringLiteral("pcb.local"));
    QCOMPARE(m_model->rowCount(), 1);
    QVERIFY(m_model->hasMessenger(0));
}

void TestComputerBrowserModel::statusLine()
{
    QCOMPARE(m_model->status(), Status::Searching);
    m_model->searchFinished();
    QCOMPARE(m_model->status(), Status::Finished);

    // Computers that turn up after the search settled update the count.
    QSignalSpy statusChanged(m_model.get(), &ComputerBrowserModel::statusChanged);
    const QStringList hosts{QStringLiteral("pca.local"), QStringLiteral("pcb.local")};
    for (const QString& host : hosts) {
        const ServiceKey key = service(host, Ssh);
        m_model->serviceFound(key);
        m_model->serviceResolved(key, host);
    }
    QCOMPARE(statusChanged.size(), 2);
    QCOMPARE(m_model->rowCount(), 2);

    // A failed browser keeps what was found and says why.
    m_model->setFailed(Problem::DaemonFailed);
    QCOMPARE(m_model->rowCount(), 2);
    QCOMPARE(m_model->status(), Status::Failed);
    QCOMPARE(m_model->problem(), Problem::DaemonFailed);
}

QTEST_GUILESS_MAIN(TestComputerBrowserModel)
#include "tst_computerbrowsermodel.moc"
