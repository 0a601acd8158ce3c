// Runs on the Avahi test host of tests/e2e/avahi/run-avahi-host.sh: a real daemon on loopback,
// reached over a private system bus. Publishes the notification service, finds it through the
// browsing layer, resolves ".local" names, and follows the daemon through a restart.
// The tests named "...Peer..." and "...Network..." run on the two hosts of run-avahi-lan.sh
// instead, where a second computer announces itself over a real link.

#include "messenger/service/servicepublisher.h"
#include "net/avahibrowsesession.h"
#include "net/avahidbus.h"
#include "net/computerbrowsermodel.h"
#include "net/hostresolver.h"
#include "net/mdnsaddressbrowser.h"
#include "net/mdnsresolver.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace std::chrono_literals;
using messenger::service::ServicePublisher;
using net::AvahiBrowseSession;
using net::ComputerBrowserModel;
using net::MdnsResolver;

namespace {

// Announcing takes about a second of probing; a restarted daemon probes its host name again.
constexpr int AnnounceTimeoutMs = 15'000;

/// avahi-publish run in the background for one test, stopped when it goes out of scope.
class BackgroundPublish final
{
public:
    explicit BackgroundPublish(const QStringList& arguments)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("avahi-publish"), arguments);
    }
    ~BackgroundPublish()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }
    bool established()
    {
        m_output += m_process.readAll();
        return m_output.contains("Established");
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

/// Counts the daemon's ItemRemove signals; connected after the browse session, it hears each one
/// after the session has handled it.
class RemovalCounter final : public QObject
{
    Q_OBJECT

public:
    explicit RemovalCounter(QDBusConnection bus)
    {
        // Qt 6.4 connects D-Bus signals only by the receiving slot's name.
        bus.connect(QString(), QString(), net::avahi::serviceBrowserInterface(), QStringLiteral("ItemRemove"), this,
                    SLOT(removed()));
    }
    int count = 0;

public Q_SLOTS:
    void removed() { ++count; }
};

bool daemonControl(const char* action)
{
    return QProcess::execute(QStringLiteral("sh"),
                             {qEnvironmentVariable("TAVIK_AVAHI_CTL"), QString::fromLatin1(action)}) == 0;
}

int rowsNamed(const ComputerBrowserModel& model, const QString& name)
{
    int count = 0;
    for (int row = 0; row < model.rowCount(); ++row)
        count += model.computerName(row).compare(name, Qt::CaseInsensitive) == 0 ? 1 : 0;
    return count;
}

} // namespace

class TestAvahiEndToEnd final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void publishedServiceIsFoundUnderItsHost_data();
    void publishedServiceIsFoundUnderItsHost();
    void collidingNamesGetAnAlternative();
    void resolvesLocalNames();
    void followsTheDaemonThroughARestart();
    void checkCommandPassesWhenEverythingRuns();

    void findsThePeerAcrossTheNetwork();
    void networkCollisionTakesAnAlternativeName();
    void resolvesThePeer();

private:
    QDBusConnection bus() const { return QDBusConnection::systemBus(); }
    QString m_host;
    QString m_peer; ///< the second host's name on the two-host network; empty on one host
};

void TestAvahiEndToEnd::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("TAVIK_AVAHI_HOST"))
        QSKIP("needs the Avahi test host: run through tests/e2e/avahi/run-avahi-host.sh");
    m_host = qEnvironmentVariable("TAVIK_AVAHI_HOST");
    m_peer = qEnvironmentVariable("TAVIK_AVAHI_PEER");
    QVERIFY2(bus().isConnected(), qPrintable(bus().lastError().message()));
    QTRY_VERIFY_WITH_TIMEOUT(net::avahi::unavailableReason(bus()).isEmpty(), 10'000);
}

void TestAvahiEndToEnd::publishedServiceIsFoundUnderItsHost_data()
{
    QTest::addColumn<bool>("legacyApi");
    QTest::newRow("prepared browsers") << false;
    // Browsers that start before their path is known: early signals must not be lost.
    QTest::newRow("browsers started at creation") << true;
}

void TestAvahiEndToEnd::publishedServiceIsFoundUnderItsHost()
{
    QFETCH(bool, legacyApi);
    auto publisher = std::make_unique<ServicePublisher>(31901, m_host, bus());
    publisher->start();
    QTRY_COMPARE_WITH_TIMEOUT(publisher->state(), ServicePublisher::State::Established, AnnounceTimeoutMs);
    QCOMPARE(publisher->publishedName(), m_host);

    // A host service whose name is not the host's: the row must still be the host's.
    BackgroundPublish share(
        {QStringLiteral("-s"), QStringLiteral("Shared files"), QStringLiteral("_smb._tcp"), QStringLiteral("445")});
    QTRY_VERIFY_WITH_TIMEOUT(share.established(), AnnounceTimeoutMs);

    ComputerBrowserModel model;
    AvahiBrowseSession session(model, bus());
    if (legacyApi)
        session.useLegacyBrowserApi();
    session.start();
    QTRY_COMPARE_WITH_TIMEOUT(model.status(), ComputerBrowserModel::Status::Finished, 10'000);
    QTRY_VERIFY(model.rowOf(m_host) >= 0 && model.hasMessenger(model.rowOf(m_host)));
    // The notification service, the workstation and the share are one computer.
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.computerName(0), m_host);

    // Withdrawing the notification service takes the mark away; the host stays for its other services.
    publisher.reset();
    QTRY_VERIFY(!model.hasMessenger(model.rowOf(m_host)));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.computerName(0), m_host);
}

void TestAvahiEndToEnd::collidingNamesGetAnAlternative()
{
    ComputerBrowserModel model;
    AvahiBrowseSession session(model, bus());
    session.start();

    auto first = std::make_unique<ServicePublisher>(31911, m_host, bus());
    first->start();
    QTRY_COMPARE_WITH_TIMEOUT(first->state(), ServicePublisher::State::Established, AnnounceTimeoutMs);
    ServicePublisher second(31912, m_host, bus());
    second.start();
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), ServicePublisher::State::Established, AnnounceTimeoutMs);
    QVERIFY(second.publishedName() != m_host);
    QVERIFY(second.publishedName().startsWith(m_host));

    // Both notification services run on one host: one row, whatever the service names are.
    QTRY_VERIFY(model.rowOf(m_host) >= 0 && model.hasMessenger(model.rowOf(m_host)));
    QCOMPARE(rowsNamed(model, m_host), 1);
    QCOMPARE(model.rowOf(second.publishedName()), -1);

    RemovalCounter removals(bus());
    first.reset();
    // The second service still marks the host after the first one is withdrawn.
    QTRY_VERIFY_WITH_TIMEOUT(removals.count > 0, AnnounceTimeoutMs);
    QCoreApplication::processEvents();
    QVERIFY(model.rowOf(m_host) >= 0);
    QVERIFY(model.hasMessenger(model.rowOf(m_host)));
}

void TestAvahiEndToEnd::resolvesLocalNames()
{
    BackgroundPublish other(
        {QStringLiteral("-a"), QStringLiteral("-R"), QStringLiteral("tavikpcc.local"), QStringLiteral("127.0.0.5")});
    QTRY_VERIFY_WITH_TIMEOUT(other.established(), AnnounceTimeoutMs);

    // nss-mdns is not on this host's name service, so the daemon is asked over the bus.
    const MdnsResolver resolver(bus(), QStringLiteral("/nonexistent/nsswitch.conf"));
    const auto in2s = [] { return MdnsResolver::Clock::now() + 2s; };

    net::Resolution own = resolver.resolve(m_host, in2s());
    QVERIFY2(!own.addresses.isEmpty(), qPrintable(own.error));

    net::Resolution pcc = resolver.resolve(QStringLiteral("tavikpcc"), in2s());
    QVERIFY2(!pcc.addresses.isEmpty(), qPrintable(pcc.error));
    QCOMPARE(pcc.addresses.constFirst(), QHostAddress(QStringLiteral("127.0.0.5")));
    pcc = resolver.resolve(QStringLiteral("TAVIKPCC.local"), in2s());
    QVERIFY2(!pcc.addresses.isEmpty(), qPrintable(pcc.error));

    // An unknown name is not found, and the lookup gives up at its deadline instead of Avahi's own 5 s.
    QElapsedTimer clock;
    clock.start();
    const net::Resolution none = resolver.resolve(QStringLiteral("nosuchpc"), in2s());
    QVERIFY(none.addresses.isEmpty());
    QVERIFY(none.error.contains(QStringLiteral("nosuchpc.local")));
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));

    // Where nsswitch.conf names nss-mdns, getaddrinfo is asked first (the test host's hosts file
    // stands in for nss-mdns); what it does not know still goes to the daemon.
    QTemporaryFile nsswitch;
    QVERIFY(nsswitch.open());
    nsswitch.write("hosts: files mdns4_minimal [NOTFOUND=return] dns\n");
    nsswitch.close();
    const MdnsResolver withNss(bus(), nsswitch.fileName());
    const net::Resolution nss = withNss.resolve(QStringLiteral("tavikNSS"), in2s());
    QVERIFY2(nss.addresses.contains(QHostAddress(QStringLiteral("10.231.9.9"))), qPrintable(nss.error));
    const net::Resolution fallsThrough = withNss.resolve(QStringLiteral("tavikpcc"), in2s());
    QVERIFY2(fallsThrough.addresses.contains(QHostAddress(QStringLiteral("127.0.0.5"))),
             qPrintable(fallsThrough.error));

    // As the host resolver's fallback, on its worker thread: a bare name the system cannot resolve.
    net::HostResolver hosts;
    hosts.setFallback([resolver](const QString& name, net::HostResolver::Clock::time_point deadline) {
        return resolver.resolve(name, deadline);
    });
    const net::Resolution viaHosts = hosts.resolve(QStringLiteral("tavikpcc"));
    QVERIFY2(viaHosts.addresses.contains(QHostAddress(QStringLiteral("127.0.0.5"))), qPrintable(viaHosts.error));

    // Every address a name publishes (here a second interface of the same computer), where a
    // lookup answers with one; none for an unknown name or one that is not in ".local".
    BackgroundPublish second(
        {QStringLiteral("-a"), QStringLiteral("-R"), QStringLiteral("tavikpcc.local"), QStringLiteral("127.0.0.6")});
    QTRY_VERIFY_WITH_TIMEOUT(second.established(), AnnounceTimeoutMs);
    net::MdnsAddressBrowser browser(bus());
    QHash<QString, QList<QHostAddress>> published;
    const QStringList names{QStringLiteral("tavikpcc"), QStringLiteral("nosuchpc"), QStringLiteral("pcb.example.org")};
    for (const QString& name : names) {
        browser.lookUp(name, this, [&published, name](const QList<QHostAddress>& found) {
            QVERIFY(!published.contains(name));
            published.insert(name, found);
        });
    }
    QVERIFY(published.isEmpty()); // never answered before the call returns
    QTRY_COMPARE(published.size(), names.size());
    QList<QHostAddress> pccAddresses = published.value(QStringLiteral("tavikpcc"));
    std::sort(pccAddresses.begin(), pccAddresses.end(),
              [](const QHostAddress& a, const QHostAddress& b) { return a.toIPv4Address() < b.toIPv4Address(); });
    QCOMPARE(pccAddresses, (QList<QHostAddress>{QHostAddress(QStringLiteral("127.0.0.5")),
                                                QHostAddress(QStringLiteral("127.0.0.6"))}));
    QCOMPARE(published.value(QStringLiteral("nosuchpc")), QList<QHostAddress>());
    QCOMPARE(published.value(QStringLiteral("pcb.example.org")), QList<QHostAddress>());
}

void TestAvahiEndToEnd::followsTheDaemonThroughARestart()
{
    ServicePublisher publisher(31921, m_host, bus());
    publisher.start();
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), ServicePublisher::State::Established, AnnounceTimeoutMs);
    ComputerBrowserModel model;
    AvahiBrowseSession session(model, bus());
    session.start();
    QTRY_VERIFY(model.rowOf(m_host) >= 0 && model.hasMessenger(model.rowOf(m_host)));

    QVERIFY(daemonControl("stop"));
    QTRY_COMPARE(model.status(), ComputerBrowserModel::Status::Unavailable);
    QCOMPARE(model.rowCount(), 0);
    QTRY_COMPARE(publisher.state(), ServicePublisher::State::NoDaemon);
    const net::Resolution without =
        MdnsResolver(bus(), QStringLiteral("/nonexistent")).resolve(m_host, MdnsResolver::Clock::now() + 2s);
    QVERIFY(without.addresses.isEmpty());
    QVERIFY2(without.error.contains(QStringLiteral("Avahi")), qPrintable(without.error));

    // A browser or a publisher started while the daemon is away says so and waits for it.
    ComputerBrowserModel lateModel;
    AvahiBrowseSession lateSession(lateModel, bus());
    lateSession.start();
    QCOMPARE(lateModel.status(), ComputerBrowserModel::Status::Unavailable);
    QCOMPARE(lateModel.problem(), ComputerBrowserModel::Problem::NoDaemon);

    QVERIFY(daemonControl("start"));
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), ServicePublisher::State::Established, AnnounceTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(model.rowOf(m_host) >= 0 && model.hasMessenger(model.rowOf(m_host)), AnnounceTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(lateModel.rowOf(m_host) >= 0 && lateModel.hasMessenger(lateModel.rowOf(m_host)),
                             AnnounceTimeoutMs);
}

// `tavik-light --check` on a host where Avahi and the notification service run: nothing fails, and
// each name's source is named; with the service stopped, the check fails and says so.
void TestAvahiEndToEnd::checkCommandPassesWhenEverythingRuns()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name :
         {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY")})
        env.remove(name);
    const auto check = [&env](const QString& partner, QStringList& lines) {
        QProcess process;
        process.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        process.start(QStringLiteral(TAVIK_CHAT_PATH), {QStringLiteral("--check"), partner});
        if (!process.waitForFinished(10'000) || clock.elapsed() >= 3000)
            return -1;
        lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        return process.exitCode();
    };
    // Lines 1 to 7 (all but the firewall, which depends on the machine) pass or are not judged.
    const auto passes = [](const QStringList& lines) {
        return lines.size() == 8 && std::none_of(lines.cbegin(), lines.cend() - 1, [](const QString& line) {
                   return line.startsWith(QStringLiteral("×"));
               });
    };

    QProcess service;
    service.setProcessEnvironment(env);
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.start(QStringLiteral(TAVIK_MESSENGER_PATH), {QStringLiteral("--port"), QStringLiteral("31001")});
    QByteArray said;
    QTRY_VERIFY2_WITH_TIMEOUT((said += service.readAll()).contains("31001"), said.constData(), 10'000);
    BackgroundPublish alias(
        {QStringLiteral("-a"), QStringLiteral("-R"), QStringLiteral("tavikpcd.local"), QStringLiteral("127.0.0.1")});
    QTRY_VERIFY_WITH_TIMEOUT(alias.established(), AnnounceTimeoutMs);

    QStringList lines;
    int status = check(QStringLiteral("127.0.0.1"), lines);
    QVERIFY2(passes(lines), qPrintable(lines.join(u'\n')));
    QCOMPARE(status, lines.constLast().startsWith(QStringLiteral("×")) ? 1 : 0);
    QVERIFY(lines.at(3).startsWith(QStringLiteral("○ Avahi")));

    status = check(QStringLiteral("tavikpcd.local"), lines);
    QVERIFY2(passes(lines) && lines.at(4).contains(QStringLiteral("mDNS")), qPrintable(lines.join(u'\n')));
    QVERIFY(lines.at(5).startsWith(QStringLiteral("○ ")));
    check(QStringLiteral("taviknss.local"), lines);
    QVERIFY2(lines.value(4).contains(QStringLiteral("hosts ファイル")), qPrintable(lines.join(u'\n')));

    service.terminate();
    QVERIFY(service.waitForFinished(5000));
    QCOMPARE(check(QStringLiteral("127.0.0.1"), lines), 1);
    QVERIFY(lines.value(2).startsWith(QStringLiteral("× ")));
}

void TestAvahiEndToEnd::findsThePeerAcrossTheNetwork()
{
    if (m_peer.isEmpty())
        QSKIP("needs the two-host network of run-avahi-lan.sh");
    ComputerBrowserModel model;
    AvahiBrowseSession session(model, bus());
    session.start();
    // The peer's notification service is named after this host, but it runs on the peer: the
    // mark belongs to the peer's row, not to this host's.
    QTRY_VERIFY_WITH_TIMEOUT(model.rowOf(m_peer) >= 0 && model.hasMessenger(model.rowOf(m_peer)), AnnounceTimeoutMs);
    QTRY_VERIFY(model.rowOf(m_host) >= 0);
    QVERIFY(!model.hasMessenger(model.rowOf(m_host)));
    QCOMPARE(model.rowCount(), 2);
}

void TestAvahiEndToEnd::networkCollisionTakesAnAlternativeName()
{
    if (m_peer.isEmpty())
        QSKIP("needs the two-host network of run-avahi-lan.sh");
    ComputerBrowserModel model;
    AvahiBrowseSession session(model, bus());
    session.start();
    QTRY_VERIFY_WITH_TIMEOUT(model.rowOf(m_peer) >= 0 && model.hasMessenger(model.rowOf(m_peer)), AnnounceTimeoutMs);

    // The peer holds the service name this host would take; probing finds it on the link.
    ServicePublisher publisher(31001, m_host, bus());
    publisher.start();
    QTRY_COMPARE_WITH_TIMEOUT(publisher.state(), ServicePublisher::State::Established, AnnounceTimeoutMs);
    QVERIFY2(publisher.publishedName() != m_host, qPrintable(publisher.publishedName()));
    QTRY_VERIFY(model.rowOf(m_host) >= 0 && model.hasMessenger(model.rowOf(m_host)));
    QVERIFY(model.hasMessenger(model.rowOf(m_peer)));
}

void TestAvahiEndToEnd::resolvesThePeer()
{
    if (m_peer.isEmpty())
        QSKIP("needs the two-host network of run-avahi-lan.sh");
    const MdnsResolver resolver(bus(), QStringLiteral("/nonexistent/nsswitch.conf"));
    const QHostAddress expected(qEnvironmentVariable("TAVIK_AVAHI_PEER_ADDRESS"));
    // The peer's daemon may still be probing its host name when the test starts.
    net::Resolution found;
    QTRY_VERIFY_WITH_TIMEOUT(
        (found = resolver.resolve(m_peer, MdnsResolver::Clock::now() + 2s)).addresses.contains(expected),
        AnnounceTimeoutMs);
}

QTEST_GUILESS_MAIN(TestAvahiEndToEnd)
#include "tst_avahi_e2e.moc"
