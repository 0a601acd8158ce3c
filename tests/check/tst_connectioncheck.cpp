// The connection check: each unit over facts and bytes in memory, the whole check against
// loopback (a listener standing in for the notification service, a second process holding the
// chat port), and `tavik-light --check` without a display. Runs in a network namespace of its own.
#include "check/checkrow.h"
#include "check/connectioncheck.h"
#include "check/firewall.h"
#include "check/firewallrules.h"
#include "check/localport.h"
#include "check/nameresolution.h"
#include "check/procsockets.h"
#include "check/tcpprobe.h"
#include "check/unreachablerow.h"
#include "widgets/errortext.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <cerrno>
#include <iostream>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using check::Mark;

namespace {

constexpr const char* HoldPort = "--hold-port";

/// Child mode: holds UDP @p port until its input closes, as another program on the PC would.
int holdPort(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QUdpSocket socket;
    if (!socket.bind(QHostAddress::AnyIPv6, quint16(QByteArray(argv[2]).toUInt())))
        return 3;
    std::cout << "held" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    return 0;
}

/// The marks of @p rows as a text, one character per item: "○○×○○×○－".
QString marks(const QList<check::Row>& rows)
{
    QString text;
    for (const check::Row& row : rows)
        text += check::markText(row.mark);
    return text;
}

/// A row's finding and remedy, for looking for a phrase in either.
QString wholeText(const check::Row& row)
{
    return row.finding + u" → "_s + row.remedy;
}

check::Settings loopbackSettings(quint16 servicePort)
{
    check::Settings settings;
    settings.servicePort = servicePort;
    settings.avahiUnavailable = [] { return QString(); };
    settings.firewall = [] {
        check::FirewallFacts facts;
        facts.nftRuleset = QByteArray(); // readable and empty: nothing filters
        return facts;
    };
    settings.programPath = u"/opt/tavik/tavik-light"_s;
    settings.servicePath = u"/opt/tavik/tavik-messenger"_s;
    settings.errorText = &widgets::errorText;
    return settings;
}

bool inOwnNetwork()
{
    return qEnvironmentVariableIsSet("TAVIK_NETNS");
}

} // namespace

class TestConnectionCheck final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesSocketTables_data();
    void parsesSocketTables();
    void findsWhoHoldsAPort();
    void readsEffectiveCapability_data();
    void readsEffectiveCapability();
    void localPortRow_data();
    void localPortRow();
    void namesTheSourceOfAnAnswer_data();
    void namesTheSourceOfAnAnswer();
    void readsPortSpecs_data();
    void readsPortSpecs();
    void readsUfwRules_data();
    void readsUfwRules();
    void readsNftRuleset_data();
    void readsNftRuleset();
    void firewallRow_data();
    void firewallRow();
    void portUnreachableRow_data();
    void portUnreachableRow();
    void probesATcpPort_data();
    void probesATcpPort();
    void wholeCheckAgainstLoopback_data();
    void wholeCheckAgainstLoopback();
    void restartDropsTheEarlierCheck();
    void commandLinePrintsOneLinePerItem();
};

void TestConnectionCheck::parsesSocketTables_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("expected"); // port/uid/inode, comma-separated
    const QByteArray header = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  "
                              "timeout inode ref pointer drops\n";
    QTest::newRow("IPv4") << header + "  12: 00000000:03EA 00000000:0000 07 00000000:00000000 00:00000000 "
                                      "00000000  1000        0 45678 2 0000000000000000 0\n"
                          << u"1002/1000/45678"_s;
    QTest::newRow("IPv6") << header + "  80: 00000000000000000000000000000000:03E9 "
                                      "00000000000000000000000000000000:0000 07 00000000:00000000 00:00000000 "
                                      "00000000     0        0 9 2 0000000000000000 0\n"
                          << u"1001/0/9"_s;
    QTest::newRow("header only") << header << QString();
    QTest::newRow("short and garbled lines skipped")
        << header + "  1: 0100007F:zz 0 07\n  2: 0100007F:0035 00000000:0000 07 0:0 00:0 0 x 0 7 2 0 0\n"
                    "  3: 0100007F:0035 00000000:0000 07 0:0 00:0 0 101 0 77 2 0 0\n"
        << u"53/101/77"_s;
    QTest::newRow("port beyond 16 bits skipped")
        << header + "  1: 00000000:1FFFF 00000000:0000 07 0:0 00:0 0 0 0 5 2 0 0\n"
        << QString();
}

void TestConnectionCheck::parsesSocketTables()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, expected);
    QStringList found;
    for (const check::SocketEntry& entry : check::parseProcNetSockets(table))
        found.append(u"%1/%2/%3"_s.arg(entry.port).arg(entry.uid).arg(entry.inode));
    QCOMPARE(found.join(u','), expected);
}

void TestConnectionCheck::findsWhoHoldsAPort()
{
    QUdpSocket own;
    QVERIFY(own.bind(QHostAddress::AnyIPv6, 0));
    const auto held = check::udpPortHolders(own.localPort());
    QVERIFY(held.isOk());
    QCOMPARE(held.value().size(), 1);
    QCOMPARE(held.value().constFirst().pid, QCoreApplication::applicationPid());
    QVERIFY(QCoreApplication::applicationName().startsWith(held.value().constFirst().program));

    const quint16 freed = own.localPort();
    own.close();
    QVERIFY(check::udpPortHolders(freed).value().isEmpty());
    QVERIFY(!check::udpPortHolders(1, u"/nonexistent"_s).isOk());
}

void TestConnectionCheck::readsEffectiveCapability_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<bool>("expected");
    QTest::newRow("root") << QByteArray("Name:\tx\nCapEff:\t000001ffffffffff\n") << true;
    QTest::newRow("only cap_net_bind_service")
        << QByteArray("CapInh:\t0000000000000400\nCapEff:\t0000000000000400\n") << true;
    QTest::newRow("a user") << QByteArray("CapPrm:\t0000000000000400\nCapEff:\t0000000000000000\n") << false;
    QTest::newRow("neighbouring bit") << QByteArray("CapEff:\t0000000000000800\n") << false;
    QTest::newRow("no line") << QByteArray("Name:\tx\n") << false;
    QTest::newRow("garbled") << QByteArray("CapEff:\tnot hex\n") << false;
}

void TestConnectionCheck::readsEffectiveCapability()
{
    QFETCH(QByteArray, status);
    QFETCH(bool, expected);
    QCOMPARE(check::hasEffectiveCapability(status, 10), expected);
}

void TestConnectionCheck::localPortRow_data()
{
    QTest::addColumn<bool>("permitted");
    QTest::addColumn<QList<check::PortHolder>>("holders");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<int>("mark");
    QTest::addColumn<QString>("says");
    const qint64 self = 4242;
    using Holders = QList<check::PortHolder>;
    QTest::newRow("free") << true << Holders{} << true << int(Mark::Passed) << u"開けます"_s;
    QTest::newRow("held by the connected window")
        << true << Holders{{0, self, u"tavik-light"_s}} << true << int(Mark::Passed) << u"接続中"_s;
    QTest::newRow("held by a second copy")
        << true << Holders{{0, 77, u"tavik-light"_s}} << true << int(Mark::Failed) << u"tavik-light（PID 77）"_s;
    QTest::newRow("held by another user")
        << true << Holders{{uint(::getuid()) + 1, 0, {}}} << true << int(Mark::Failed) << u"ユーザー "_s;
    QTest::newRow("held even without permission")
        << false << Holders{{0, 77, u"x"_s}} << true << int(Mark::Failed) << u"x（PID 77）"_s;
    QTest::newRow("no capability") << false << Holders{} << true << int(Mark::Failed)
                                   << u"setcap cap_net_bind_service=+ep /opt/tavik/tavik-light"_s;
    QTest::newRow("tables unreadable") << true << Holders{} << false << int(Mark::NotJudged) << u"読めません"_s;
}

void TestConnectionCheck::localPortRow()
{
    QFETCH(bool, permitted);
    QFETCH(QList<check::PortHolder>, holders);
    QFETCH(bool, readable);
    QFETCH(int, mark);
    QFETCH(QString, says);
    check::LocalPortFacts facts;
    facts.port = 1002;
    facts.permitted = permitted;
    facts.holders = readable ? common::Result<QList<check::PortHolder>>(holders)
                             : common::Result<QList<check::PortHolder>>(common::Status::fromErrno(EACCES));
    const check::Row row = check::localPortRow(facts, 4242, u"/opt/tavik/tavik-light"_s);
    QCOMPARE(int(row.mark), mark);
    QVERIFY2(wholeText(row).contains(says), qPrintable(wholeText(row)));
    QVERIFY(row.finding.contains(u"ポート1002/UDP"_s));
    QCOMPARE(row.remedy.isEmpty(), row.mark != Mark::Failed);
}

void TestConnectionCheck::namesTheSourceOfAnAnswer_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<QHostAddress>>("found");
    QTest::addColumn<bool>("byMdns");
    QTest::addColumn<int>("source");
    using Addresses = QList<QHostAddress>;
    const Addresses pcb{QHostAddress(u"192.168.1.20"_s)};
    QTest::newRow("IPv4 literal") << u"192.168.1.20"_s << pcb << false << int(check::NameSource::Literal);
    QTest::newRow("IPv6 literal") << u"fd00::20"_s << Addresses{QHostAddress(u"fd00::20"_s)} << false
                                  << int(check::NameSource::Literal);
    QTest::newRow("hosts file") << u"pcb"_s << pcb << false << int(check::NameSource::HostsFile);
    QTest::newRow("hosts file, other case, alias")
        << u"PCB-Alias"_s << pcb << false << int(check::NameSource::HostsFile);
    QTest::newRow("hosts names it, DNS answered otherwise")
        << u"pcb"_s << Addresses{QHostAddress(u"10.0.0.9"_s)} << false << int(check::NameSource::Dns);
    QTest::newRow("commented out") << u"old"_s << Addresses{QHostAddress(u"10.0.0.7"_s)} << false
                                   << int(check::NameSource::Dns);
    QTest::newRow("Avahi answered") << u"pcc"_s << pcb << true << int(check::NameSource::Mdns);
    QTest::newRow(".local through nss-mdns") << u"pcc.local"_s << pcb << false << int(check::NameSource::Mdns);
    QTest::newRow("this PC") << u"MyPc"_s << Addresses{QHostAddress(u"192.168.1.10"_s)} << false
                             << int(check::NameSource::ThisComputer);
    QTest::newRow("DNS") << u"server.example.org"_s << pcb << false << int(check::NameSource::Dns);
}

void TestConnectionCheck::namesTheSourceOfAnAnswer()
{
    QFETCH(QString, name);
    QFETCH(QList<QHostAddress>, found);
    QFETCH(bool, byMdns);
    QFETCH(int, source);
    const QByteArray hosts = "127.0.0.1 localhost\n"
                             "192.168.1.20\tpcb pcb-alias # the partner\n"
                             "# 10.0.0.7 old\n"
                             "garbage line\n";
    QCOMPARE(int(check::sourceOf(name, found, hosts, byMdns, u"mypc"_s)), source);
}

void TestConnectionCheck::readsPortSpecs_data()
{
    QTest::addColumn<QByteArray>("portList");
    QTest::addColumn<quint16>("port");
    QTest::addColumn<bool>("covered");
    QTest::newRow("one port") << QByteArray("31001") << quint16(31001) << true;
    QTest::newRow("another port") << QByteArray("31002") << quint16(31001) << false;
    QTest::newRow("iptables range") << QByteArray("1001:1002") << quint16(1002) << true;
    QTest::newRow("nft range") << QByteArray("1000-1001") << quint16(1001) << true;
    QTest::newRow("below a range") << QByteArray("1001:1002") << quint16(1000) << false;
    QTest::newRow("multiport list") << QByteArray("80,443,1001:1002") << quint16(1001) << true;
    QTest::newRow("nft set") << QByteArray("{ 22, 1001-1002, 31001 }") << quint16(31001) << true;
    QTest::newRow("garbage") << QByteArray("ssh") << quint16(22) << false;
}

void TestConnectionCheck::readsPortSpecs()
{
    QFETCH(QByteArray, portList);
    QFETCH(quint16, port);
    QFETCH(bool, covered);
    QCOMPARE(check::portListCovers(portList, port), covered);
}

void TestConnectionCheck::readsUfwRules_data()
{
    QTest::addColumn<QByteArray>("rules");
    QTest::addColumn<bool>("udp1001");
    QTest::addColumn<bool>("tcp31001");
    QTest::newRow("the commands of the help")
        << QByteArray("*filter\n"
                      "### tuple ### allow udp 1001:1002 0.0.0.0/0 any 0.0.0.0/0 in\n"
                      "-A ufw-user-input -p udp --dport 1001:1002 -j ACCEPT\n"
                      "-A ufw-user-input -p tcp --dport 31001 -j ACCEPT\n"
                      "COMMIT\n")
        << true << true;
    QTest::newRow("multiport, limited") << QByteArray("-A ufw-user-input -p udp -m multiport --dports 1001,1002 -j "
                                                      "ACCEPT\n-A ufw-user-input -p tcp --dport 31001 -j "
                                                      "ufw-user-limit-accept\n")
                                        << true << true;
    QTest::newRow("deny and another chain") << QByteArray("-A ufw-user-input -p udp --dport 1001 -j DROP\n"
                                                          "-A ufw-user-output -p tcp --dport 31001 -j ACCEPT\n")
                                            << false << false;
    QTest::newRow("other protocol") << QByteArray("-A ufw-user-input -p tcp --dport 1001 -j ACCEPT\n") << false
                                    << false;
    QTest::newRow("any protocol, from the LAN")
        << QByteArray("-A ufw-user-input -s 192.168.1.0/24 -j ACCEPT\n") << true << true;
    QTest::newRow("none") << QByteArray() << false << false;
}

void TestConnectionCheck::readsUfwRules()
{
    QFETCH(QByteArray, rules);
    QFETCH(bool, udp1001);
    QFETCH(bool, tcp31001);
    QCOMPARE(check::ufwRulesAllow(rules, check::Transport::Udp, 1001), udp1001);
    QCOMPARE(check::ufwRulesAllow(rules, check::Transport::Tcp, 31001), tcp31001);
}

void TestConnectionCheck::readsNftRuleset_data()
{
    QTest::addColumn<QByteArray>("ruleset");
    QTest::addColumn<int>("udp1002");
    QTest::addColumn<int>("tcp31001");
    const auto input = [](const QByteArray& policy, const QByteArray& rules) -> QByteArray {
        return "table inet filter {\n\tchain input {\n\t\ttype filter hook input priority filter; policy " + policy +
               ";\n" + rules +
               "\t}\n\tchain output {\n\t\ttype filter hook output priority filter; policy drop;\n\t}\n}\n";
    };
    QTest::newRow("no rules") << QByteArray() << int(check::NftInput::Open) << int(check::NftInput::Open);
    QTest::newRow("Debian's default") << input("accept", {}) << int(check::NftInput::Open)
                                      << int(check::NftInput::Open);
    QTest::newRow("drop, ports opened") << input("drop",
                                                 "\t\tct state established,related accept\n\t\tiif \"lo\" accept\n"
                                                 "\t\tudp dport { 1001, 1002 } accept\n\t\ttcp dport 31001 accept\n")
                                        << int(check::NftInput::Accepted) << int(check::NftInput::Accepted);
    QTest::newRow("drop, one range") << input("drop", "\t\tudp dport 1001-1002 accept\n")
                                     << int(check::NftInput::Accepted) << int(check::NftInput::Filtered);
    QTest::newRow("accept policy, reject rule") << input("accept", "\t\ttcp dport 31001 reject with tcp reset\n")
                                                << int(check::NftInput::Filtered) << int(check::NftInput::Filtered);
}

void TestConnectionCheck::readsNftRuleset()
{
    QFETCH(QByteArray, ruleset);
    QFETCH(int, udp1002);
    QFETCH(int, tcp31001);
    QCOMPARE(int(check::nftInputFor(ruleset, check::Transport::Udp, 1002)), udp1002);
    QCOMPARE(int(check::nftInputFor(ruleset, check::Transport::Tcp, 31001)), tcp31001);
}

void TestConnectionCheck::firewallRow_data()
{
    using F = check::FirewallFacts;
    QTest::addColumn<F>("facts");
    QTest::addColumn<int>("mark");
    QTest::addColumn<QString>("says");
    const auto ufw = [](std::optional<QByteArray> rules, bool acceptByDefault = false) {
        F facts;
        facts.ufw = F::Ufw::Active;
        facts.ufwRules = std::move(rules);
        facts.ufwAcceptsByDefault = acceptByDefault;
        return facts;
    };
    QTest::newRow("ufw, ports allowed") << ufw("-A ufw-user-input -p udp --dport 1001:1002 -j ACCEPT\n-A "
                                               "ufw-user-input -p tcp --dport 31001 -j ACCEPT\n")
                                        << int(Mark::Passed) << u"許可しています"_s;
    QTest::newRow("ufw, the service's port missing") << ufw("-A ufw-user-input -p udp --dport 1001:1002 -j ACCEPT\n")
                                                     << int(Mark::Failed) << u"TCP 31001 を許可していません"_s;
    QTest::newRow("ufw, rules unreadable")
        << ufw(std::nullopt) << int(Mark::NotJudged) << u"sudo ufw allow 1001:1002/udp && sudo ufw allow 31001/tcp"_s;
    QTest::newRow("ufw accepting by default") << ufw(std::nullopt, true) << int(Mark::Passed) << u"既定で許可"_s;
    F firewalld;
    firewalld.firewalldRuns = true;
    QTest::newRow("firewalld") << firewalld << int(Mark::NotJudged) << u"--add-port=1001-1002/udp"_s;
    F open;
    open.ufw = F::Ufw::Inactive;
    open.nftRuleset = QByteArray();
    QTest::newRow("no rules at all") << open << int(Mark::Passed) << u"止める規則はありません"_s;
    F filtered;
    filtered.nftRuleset = "chain input {\ntype filter hook input priority 0; policy drop;\n}\n";
    QTest::newRow("nft dropping") << filtered << int(Mark::NotJudged) << u"nft add rule"_s;
    QTest::newRow("nothing readable") << F() << int(Mark::NotJudged) << u"読めません"_s;
}

void TestConnectionCheck::firewallRow()
{
    QFETCH(check::FirewallFacts, facts);
    QFETCH(int, mark);
    QFETCH(QString, says);
    const check::Row row = check::firewallRow(facts, 31001);
    QCOMPARE(int(row.mark), mark);
    QVERIFY2(wholeText(row).contains(says), qPrintable(wholeText(row)));
    // Whatever could not be confirmed comes with the commands that open the ports.
    QCOMPARE(row.remedy.isEmpty(), row.mark == Mark::Passed);
}

void TestConnectionCheck::portUnreachableRow_data()
{
    QTest::addColumn<bool>("available");
    QTest::addColumn<QString>("from"); // address:port of the notice, empty for none
    QTest::addColumn<QList<QHostAddress>>("partner");
    QTest::addColumn<int>("mark");
    QTest::addColumn<QString>("says");
    const QList<QHostAddress> pcb{QHostAddress(u"192.168.1.20"_s), QHostAddress(u"fd00::20"_s)};
    QTest::newRow("command line") << false << QString() << pcb << int(Mark::NotJudged) << u"コマンド"_s;
    QTest::newRow("none") << true << QString() << pcb << int(Mark::Passed) << u"受け取っていません"_s;
    QTest::newRow("from the partner") << true << u"192.168.1.20:1001"_s << pcb << int(Mark::Failed)
                                      << u"「PC2側」を選んで"_s;
    QTest::newRow("from the partner's IPv6")
        << true << u"fd00::20:1001"_s << pcb << int(Mark::Failed) << u"ポート1001/UDP"_s;
    QTest::newRow("from the partner, IPv4-mapped")
        << true << u"::ffff:192.168.1.20:1001"_s << pcb << int(Mark::Failed) << u"ポート到達不能"_s;
    QTest::newRow("from a stranger") << true << u"10.9.9.9:1001"_s << pcb << int(Mark::Passed)
                                     << u"受け取っていません"_s;
    QTest::newRow("another port") << true << u"192.168.1.20:1002"_s << pcb << int(Mark::Passed)
                                  << u"受け取っていません"_s;
    QTest::newRow("partner unknown") << true << u"192.168.1.20:1001"_s << QList<QHostAddress>() << int(Mark::NotJudged)
                                     << u"分かりません"_s;
}

void TestConnectionCheck::portUnreachableRow()
{
    QFETCH(bool, available);
    QFETCH(QString, from);
    QFETCH(QList<QHostAddress>, partner);
    QFETCH(int, mark);
    QFETCH(QString, says);
    check::ChatSocketReport socket{available, std::nullopt};
    if (!from.isEmpty()) {
        const qsizetype colon = from.lastIndexOf(u':');
        socket.lastPortUnreachable =
            net::PortUnreachableNotice{QHostAddress(from.left(colon)), quint16(from.mid(colon + 1).toUInt()),
                                       QDateTime(QDate(2026, 12, 8), QTime(10, 5, 3))};
    }
    const check::Row row = check::portUnreachableRow(socket, partner, chat::core::Role::PC1);
    QCOMPARE(int(row.mark), mark);
    QVERIFY2(wholeText(row).contains(says), qPrintable(wholeText(row)));
    if (row.mark == Mark::Failed)
        QVERIFY(row.finding.contains(u"2026/12/08 10:05:03"_s));
}

void TestConnectionCheck::probesATcpPort_data()
{
    QTest::addColumn<QString>("target"); // listening, closed, none, full, second
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("sysErrno");
    QTest::newRow("something listens") << u"listening"_s << int(common::Status::Code::Ok) << 0;
    QTest::newRow("nothing listens") << u"closed"_s << int(common::Status::Code::SocketError) << ECONNREFUSED;
    QTest::newRow("no address") << u"none"_s << int(common::Status::Code::NotFound) << 0;
    QTest::newRow("no answer in time") << u"full"_s << int(common::Status::Code::TimedOut) << 0;
    QTest::newRow("the second address answers") << u"second"_s << int(common::Status::Code::Ok) << 0;
}

void TestConnectionCheck::probesATcpPort()
{
    QFETCH(QString, target);
    QFETCH(int, code);
    QFETCH(int, sysErrno);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    quint16 port = server.serverPort();
    QList<QHostAddress> addresses{QHostAddress(QHostAddress::LocalHost)};
    // A listener whose queue is full drops further connection requests unanswered.
    int full = -1;
    QTcpSocket queued;
    if (target == u"closed"_s) {
        server.close();
    } else if (target == u"none"_s) {
        addresses.clear();
    } else if (target == u"second"_s) {
        addresses.prepend(QHostAddress(QHostAddress::LocalHostIPv6)); // nothing listens there
    } else if (target == u"full"_s) {
        full = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(full, reinterpret_cast<sockaddr*>(&address), length) == 0);
        QVERIFY(::listen(full, 0) == 0);
        QVERIFY(::getsockname(full, reinterpret_cast<sockaddr*>(&address), &length) == 0);
        port = ntohs(address.sin_port);
        queued.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(queued.waitForConnected(2000));
    }
    check::TcpProbe probe(addresses, port, 400ms);
    QSignalSpy finished(&probe, &check::TcpProbe::finished);
    QElapsedTimer clock;
    clock.start();
    probe.start();
    QVERIFY(finished.isEmpty()); // never from inside start()
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 2000);
    QVERIFY(clock.elapsed() < 1000);
    const auto outcome = finished.at(0).at(0).value<check::ProbeOutcome>();
    QCOMPARE(int(outcome.status.code()), code);
    QCOMPARE(outcome.status.sysErrno(), sysErrno);
    if (code == int(common::Status::Code::Ok))
        QTRY_VERIFY(server.hasPendingConnections());
    if (target == u"full"_s)
        QVERIFY(outcome.elapsedMs >= 350);
    QTest::qWait(50);
    QCOMPARE(finished.size(), 1); // exactly once
    if (full >= 0)
        ::close(full);
}

void TestConnectionCheck::wholeCheckAgainstLoopback_data()
{
    QTest::addColumn<QString>("partner");
    QTest::addColumn<chat::core::Role>("role");
    QTest::addColumn<bool>("serviceRuns");
    QTest::addColumn<bool>("portHeld");
    QTest::addColumn<QString>("refusalFrom");
    QTest::addColumn<QString>("expected"); // the marks in item order
    QTest::addColumn<int>("item");         // the item whose finding says...
    QTest::addColumn<QString>("says");
    const chat::core::Role pc1 = chat::core::Role::PC1;
    QTest::newRow("everything passes") << u"127.0.0.1"_s << pc1 << true << false << QString() << u"○○○○○○○○"_s
                                       << int(check::Item::PartnerService) << u"接続を受け付けました"_s;
    QTest::newRow("PC2 listens on 1001") << u"127.0.0.1"_s << chat::core::Role::PC2 << true << false << QString()
                                         << u"○○○○○○○○"_s << int(check::Item::LocalPort) << u"ポート1001/UDP"_s;
    QTest::newRow("no notification service") << u"127.0.0.1"_s << pc1 << false << false << QString() << u"○○×○○×○○"_s
                                             << int(check::Item::LocalService) << u"動いていません"_s;
    QTest::newRow("own port held by another program") << u"127.0.0.1"_s << pc1 << true << true << QString()
                                                      << u"○×○○○○○○"_s << int(check::Item::LocalPort) << u"PID"_s;
    QTest::newRow("the partner refused a datagram") << u"127.0.0.1"_s << pc1 << true << false << u"127.0.0.1"_s
                                                    << u"○○○○○○×○"_s << int(check::Item::PortUnreachable) << u"PC2側"_s;
    QTest::newRow("a stranger refused one") << u"127.0.0.1"_s << pc1 << true << false << u"127.0.0.9"_s << u"○○○○○○○○"_s
                                            << int(check::Item::PortUnreachable) << u"受け取っていません"_s;
    // Only loopback exists in the test's network: without a partner address nothing leads out.
    QTest::newRow("unknown name") << u"no-such-pc"_s << pc1 << true << false << QString() << u"×○○○×－○○"_s
                                  << int(check::Item::NameResolution) << u"見つかりません"_s;
    QTest::newRow("no name") << QString() << pc1 << true << false << QString() << u"×○○○×－○○"_s
                             << int(check::Item::NameResolution) << u"入力されていません"_s;
    QTest::newRow("a pasted text as the name")
        << QString(100'000, u'x') << pc1 << true << false << QString() << u"×○○○×－○○"_s
        << int(check::Item::NameResolution) << u"が見つかりません"_s;
    QTest::newRow("hostile name") << u"pc\nb\x1b[31m"_s << pc1 << true << false << QString() << u"×○○○×－○○"_s
                                  << int(check::Item::NameResolution) << u"pc␊b␛[31m"_s;
}

void TestConnectionCheck::wholeCheckAgainstLoopback()
{
    QFETCH(QString, partner);
    QFETCH(chat::core::Role, role);
    QFETCH(bool, serviceRuns);
    QFETCH(bool, portHeld);
    QFETCH(QString, refusalFrom);
    QFETCH(QString, expected);
    QFETCH(int, item);
    QFETCH(QString, says);
    if (!inOwnNetwork())
        QSKIP("needs a network namespace of its own (scripts/in-netns.sh): the chat ports and 31001 must be free");

    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::Any));
    const quint16 servicePort = service.serverPort();
    if (!serviceRuns)
        service.close();
    QProcess holder;
    if (portHeld) {
        holder.start(QCoreApplication::applicationFilePath(),
                     {QString::fromLatin1(HoldPort), QString::number(chat::core::portsFor(role).local)});
        QVERIFY(holder.waitForReadyRead(5000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
    }

    check::Settings settings = loopbackSettings(servicePort);
    // Names are answered here, not by the machine's name services.
    settings.lookup.lookup = [](const QString& name) {
        return net::Resolution{{}, common::Status::failure(common::Status::Code::NotFound, name)};
    };
    check::ConnectionCheck connectionCheck(settings);
    check::Request request{partner, role, {true, std::nullopt}};
    if (!refusalFrom.isEmpty()) {
        request.chatSocket.lastPortUnreachable = net::PortUnreachableNotice{
            QHostAddress(refusalFrom), chat::core::portsFor(role).remote, QDateTime::currentDateTime()};
    }
    QSignalSpy rowFinished(&connectionCheck, &check::ConnectionCheck::rowFinished);
    QSignalSpy finished(&connectionCheck, &check::ConnectionCheck::finished);
    QElapsedTimer clock;
    clock.start();
    connectionCheck.start(request);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(rowFinished.size(), check::ItemCount); // each row once, none left pending
    QCOMPARE(marks(connectionCheck.rows()), expected);
    QVERIFY(!connectionCheck.isRunning());
    const check::Row& row = connectionCheck.rows().at(item);
    QVERIFY2(wholeText(row).contains(says), qPrintable(wholeText(row)));
    QCOMPARE(check::allPassed(connectionCheck.rows()), !expected.contains(u'×'));
    for (const check::Row& each : connectionCheck.rows()) {
        QVERIFY(each.finding.size() <= check::MaxShownCharacters && !each.finding.contains(u'\n'));
        QVERIFY(each.remedy.size() <= check::MaxShownCharacters && !each.remedy.contains(u'\n'));
    }
    if (portHeld) {
        QVERIFY(row.finding.contains(QString::number(holder.processId())));
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(5000));
    }
}

void TestConnectionCheck::restartDropsTheEarlierCheck()
{
    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::LocalHost));
    check::Settings settings = loopbackSettings(service.serverPort());
    // The first lookup answers late; by then the second check has its own answer.
    settings.lookup.lookup = [](const QString& name) {
        if (name == u"slow"_s)
            QThread::msleep(300);
        return net::Resolution{{QHostAddress(QHostAddress::LocalHost)}, {}};
    };
    check::ConnectionCheck connectionCheck(settings);
    QSignalSpy finished(&connectionCheck, &check::ConnectionCheck::finished);
    connectionCheck.start({u"slow"_s, chat::core::Role::PC1, {}});
    connectionCheck.start({u"fast"_s, chat::core::Role::PC1, {}});
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
    QTest::qWait(500);
    QCOMPARE(finished.size(), 1);
    QVERIFY(connectionCheck.rows().at(int(check::Item::NameResolution)).finding.contains(u"「fast」"_s));
}

void TestConnectionCheck::commandLinePrintsOneLinePerItem()
{
    if (!inOwnNetwork())
        QSKIP("needs a network namespace of its own (scripts/in-netns.sh): port 31001 must be free");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {u"QT_QPA_PLATFORM"_s, u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s})
        env.remove(name);
    const auto run = [&env](const QStringList& arguments, QStringList& lines) {
        QProcess process;
        process.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        process.start(QStringLiteral(TAVIK_CHAT_PATH), arguments);
        if (!process.waitForFinished(10000))
            return -1;
        lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        if (clock.elapsed() >= 3000 || !process.readAllStandardError().isEmpty())
            return -2;
        return process.exitCode();
    };

    // Nothing listens on 31001 in this network: the service on both ends fails.
    QStringList lines;
    QCOMPARE(run({u"--check"_s, u"127.0.0.1"_s}, lines), 1);
    QCOMPARE(lines.size(), check::ItemCount);
    for (int i = 0; i < check::ItemCount; ++i)
        QVERIFY2(lines.at(i).contains(check::itemTitle(check::Item(i)) + u"："_s), qPrintable(lines.at(i)));
    QVERIFY(lines.at(int(check::Item::LocalService)).startsWith(u"× "_s));
    QVERIFY(lines.at(int(check::Item::LocalService)).contains(u"31001"_s));
    QVERIFY(lines.at(int(check::Item::PartnerService)).startsWith(u"× "_s));
    QVERIFY(lines.at(int(check::Item::LocalPort)).contains(u"ポート1002/UDP"_s));

    // With the service listening, both pass; the status follows the lines.
    QTcpServer service;
    QVERIFY(service.listen(QHostAddress::Any, 31001));
    QCOMPARE(run({u"--check"_s, u"127.0.0.1"_s, u"--role"_s, u"pc2"_s}, lines) == 1,
             lines.join(u'\n').contains(u"× "_s));
    QCOMPARE(lines.size(), check::ItemCount);
    QVERIFY(lines.at(int(check::Item::LocalService)).startsWith(u"○ "_s));
    QVERIFY(lines.at(int(check::Item::PartnerService)).startsWith(u"○ "_s));
    QVERIFY(lines.at(int(check::Item::LocalPort)).contains(u"ポート1001/UDP"_s));
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], HoldPort) == 0)
        return holdPort(argc, argv);
    QCoreApplication app(argc, argv);
    TestConnectionCheck test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connectioncheck.moc"
