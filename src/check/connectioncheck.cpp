#include "connectioncheck.h"

#include "check/avahirow.h"
#include "check/localport.h"
#include "check/servicerows.h"
#include "check/tcpprobe.h"
#include "check/thispc.h"
#include "check/worker.h"
#include "common/programinfo.h"
#include "net/avahidbus.h"
#include "net/datagramsocket.h"
#include "net/mdnsresolver.h"

#include <QCoreApplication>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace check {

namespace {

// This PC's own service answers at once or not at all; the partner's gets what is left.
constexpr std::chrono::milliseconds LocalProbeBudget = 1000ms;
// Kept back from the partner's probe, so that its answer comes before the budget ends.
constexpr std::chrono::milliseconds ReportMargin = 100ms;

} // namespace

Settings Settings::system(ErrorText errorText)
{
    Settings settings;
    settings.errorText = std::move(errorText);
    const net::MdnsResolver mdns;
    settings.lookup.mdns = [mdns](const QString& name, net::HostResolver::Clock::time_point deadline) {
        return mdns.resolve(name, deadline);
    };
    // The report is for the user: the reason without the bus's own English words.
    settings.avahiUnavailable = [] {
        return net::avahi::unavailableReason(net::avahi::availability(QDBusConnection::systemBus()));
    };
    settings.firewall = [] { return readFirewallFacts(); };
    settings.programPath = QCoreApplication::applicationFilePath();
    settings.servicePath =
        QCoreApplication::applicationDirPath() + u'/' + QString::fromUtf16(common::program::ServiceProgram);
    return settings;
}

ConnectionCheck::ConnectionCheck(Settings settings, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_rows(ItemCount)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &ConnectionCheck::budgetRanOut);
}

void ConnectionCheck::start(const Request& request)
{
    const quint64 generation = ++m_generation;
    m_request = request;
    m_rows = QList<Row>(ItemCount);
    m_running = true;
    m_started = std::chrono::steady_clock::now();
    m_deadline.start(m_settings.budget);

    startLocalItems(generation);
    if (request.partner.isEmpty()) {
        nameLookedUp(generation, {});
        return;
    }
    LookupSettings lookup = m_settings.lookup;
    lookup.budget = std::min(lookup.budget, m_settings.budget);
    lookUpName(request.partner, lookup, this,
               [this, generation](const NameLookup& answer) { nameLookedUp(generation, answer); });
}

void ConnectionCheck::startLocalItems(quint64 generation)
{
    const quint16 ownPort = chat::core::portsFor(m_request.role).local;
    runOnWorker<LocalPortFacts>(
        this, [ownPort, procRoot = m_settings.procRoot] { return readLocalPortFacts(ownPort, procRoot); },
        [this, generation](const LocalPortFacts& facts) {
            setRow(generation, Item::LocalPort,
                   localPortRow(facts, QCoreApplication::applicationPid(), m_settings.programPath));
        });

    auto* local = new TcpProbe({QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)},
                               m_settings.servicePort, std::min(LocalProbeBudget, m_settings.budget), this);
    connect(local, &TcpProbe::finished, this, [this, generation, local](const ProbeOutcome& outcome) {
        local->deleteLater();
        setRow(generation, Item::LocalService,
               localServiceRow(outcome, m_settings.servicePort, m_settings.servicePath, m_settings.errorText));
    });
    local->start();

    const Row notAsked{Mark::NotJudged, u"確かめていません。"_s, {}};
    if (m_settings.avahiUnavailable) {
        runOnWorker<QString>(this, m_settings.avahiUnavailable, [this, generation](const QString& reason) {
            setRow(generation, Item::Avahi, avahiRow(reason));
        });
    } else {
        setRow(generation, Item::Avahi, notAsked);
    }
    if (m_settings.firewall) {
        runOnWorker<FirewallFacts>(this, m_settings.firewall, [this, generation](const FirewallFacts& facts) {
            setRow(generation, Item::Firewall, firewallRow(facts, m_settings.servicePort));
        });
    } else {
        setRow(generation, Item::Firewall, notAsked);
    }
}

void ConnectionCheck::nameLookedUp(quint64 generation, const NameLookup& lookup)
{
    if (generation != m_generation || !m_running)
        return;
    if (lookup.name.isEmpty()) {
        setRow(generation, Item::NameResolution,
               {Mark::Failed, u"接続先PC名が入力されていません。"_s,
                u"メイン画面の接続先PC名に、相手のコンピュータ名か IP アドレスを入れてください。"_s});
    } else {
        setRow(generation, Item::NameResolution, nameResolutionRow(lookup, m_settings.errorText));
    }

    const chat::core::Ports ports = chat::core::portsFor(m_request.role);
    ThisPcFacts pc;
    pc.hostName = net::DatagramSocket::localHostName();
    pc.addresses = localAddresses();
    if (!lookup.addresses.isEmpty()) {
        pc.partner = lookup.addresses.constFirst();
        pc.source = sourceAddressFor(*pc.partner, ports.remote);
        if (pc.source.isOk())
            pc.interfaceName = interfaceOf(pc.source.value());
    }
    setRow(generation, Item::ThisPc, thisPcRow(pc, m_settings.errorText));
    setRow(generation, Item::PortUnreachable,
           portUnreachableRow(m_request.chatSocket, lookup.addresses, m_request.role));

    auto* partner =
        new TcpProbe(lookup.addresses, m_settings.servicePort, std::max(1ms, timeLeft() - ReportMargin), this);
    connect(partner, &TcpProbe::finished, this, [this, generation, partner](const ProbeOutcome& outcome) {
        partner->deleteLater();
        setRow(generation, Item::PartnerService,
               partnerServiceRow(outcome, m_settings.servicePort, m_settings.errorText));
    });
    partner->start();
}

void ConnectionCheck::setRow(quint64 generation, Item item, Row row)
{
    if (generation != m_generation || !m_running)
        return;
    // Names and program names come from outside (the user, the network, other processes).
    row.finding = shownText(row.finding);
    row.remedy = shownText(row.remedy);
    m_rows[int(item)] = std::move(row);
    Q_EMIT rowFinished(item);
    const bool done =
        std::none_of(m_rows.cbegin(), m_rows.cend(), [](const Row& r) { return r.mark == Mark::Pending; });
    if (done) {
        m_running = false;
        m_deadline.stop();
        Q_EMIT finished();
    }
}

void ConnectionCheck::budgetRanOut()
{
    if (!m_running)
        return;
    m_running = false;
    for (int i = 0; i < ItemCount; ++i) {
        if (m_rows.at(i).mark != Mark::Pending)
            continue;
        m_rows[i] = {Mark::NotJudged, u"時間内に終わりませんでした。"_s, {}};
        Q_EMIT rowFinished(Item(i));
    }
    Q_EMIT finished();
}

std::chrono::milliseconds ConnectionCheck::timeLeft() const
{
    const auto spent =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_started);
    return m_settings.budget - spent;
}

} // namespace check
