#include "firewall.h"

#include "chat/core/chatrules.h"
#include "check/firewallrules.h"
#include "check/procsockets.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace check {

namespace {

constexpr int NftTimeoutMs = 1000;

struct Port
{
    Transport transport;
    quint16 number;
};

/// The chat's two ports, whichever role: the lower and the higher.
struct ChatPorts
{
    quint16 low;
    quint16 high;
};

ChatPorts chatPorts()
{
    const chat::core::Ports pc1 = chat::core::portsFor(chat::core::Role::PC1);
    return {std::min(pc1.local, pc1.remote), std::max(pc1.local, pc1.remote)};
}

std::vector<Port> portsToOpen(quint16 servicePort)
{
    return {{Transport::Udp, chatPorts().low}, {Transport::Udp, chatPorts().high}, {Transport::Tcp, servicePort}};
}

QString portText(const Port& port)
{
    return u"%1 %2"_s.arg(port.transport == Transport::Udp ? u"UDP"_s : u"TCP"_s).arg(port.number);
}

std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.read(4 * 1024 * 1024);
}

/// The value of @p key in a shell-style settings file: KEY=value or KEY="value".
QByteArray settingOf(const QByteArray& content, const QByteArray& key)
{
    for (const QByteArray& line : content.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith(QByteArray(key + '=')))
            return trimmed.mid(key.size() + 1).replace('"', "").trimmed();
    }
    return {};
}

std::optional<QByteArray> nftRuleset(const QString& program)
{
    QString nft = program;
    // A normal user's PATH often leaves out the folders of administration programs.
    if (nft.isEmpty())
        nft = QStandardPaths::findExecutable(u"nft"_s);
    if (nft.isEmpty())
        nft = QStandardPaths::findExecutable(u"nft"_s, {u"/usr/sbin"_s, u"/sbin"_s});
    if (nft.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(nft, {u"list"_s, u"ruleset"_s});
    if (!process.waitForFinished(NftTimeoutMs)) {
        process.kill();
        process.waitForFinished(NftTimeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt; // "Operation not permitted" without CAP_NET_ADMIN
    return process.readAllStandardOutput();
}

QString ufwCommands(quint16 servicePort)
{
    return u"sudo ufw allow %1:%2/udp && sudo ufw allow %3/tcp"_s.arg(chatPorts().low)
        .arg(chatPorts().high)
        .arg(servicePort);
}

QString firewalldCommands(quint16 servicePort)
{
    return u"sudo firewall-cmd --permanent --add-port=%1-%2/udp --add-port=%3/tcp && sudo firewall-cmd --reload"_s
        .arg(chatPorts().low)
        .arg(chatPorts().high)
        .arg(servicePort);
}

QString nftCommands(quint16 servicePort)
{
    return u"sudo nft add rule inet filter input udp dport %1-%2 accept && "
           u"sudo nft add rule inet filter input tcp dport %3 accept"_s.arg(chatPorts().low)
               .arg(chatPorts().high)
               .arg(servicePort);
}

QString openWith(const QString& commands)
{
    return u"開いていなければ、端末で %1 を実行してください。"_s.arg(commands);
}

} // namespace

FirewallFacts readFirewallFacts(const FirewallPaths& paths)
{
    FirewallFacts facts;
    if (const auto config = readFile(paths.ufwConfig)) {
        const bool enabled = settingOf(*config, "ENABLED").toLower() == "yes";
        facts.ufw = enabled ? FirewallFacts::Ufw::Active : FirewallFacts::Ufw::Inactive;
        facts.ufwAcceptsByDefault =
            settingOf(readFile(paths.ufwDefaults).value_or(QByteArray()), "DEFAULT_INPUT_POLICY").toUpper() == "ACCEPT";
        facts.ufwRules = readFile(paths.ufwRules);
    }
    facts.firewalldRuns = processRuns(u"firewalld"_s, paths.procRoot);
    facts.nftRuleset = nftRuleset(paths.nftProgram);
    return facts;
}

Row firewallRow(const FirewallFacts& facts, quint16 servicePort)
{
    const std::vector<Port> ports = portsToOpen(servicePort);
    const QString all = u"UDP %1–%2 と TCP %3"_s.arg(chatPorts().low).arg(chatPorts().high).arg(servicePort);

    if (facts.ufw == FirewallFacts::Ufw::Active) {
        if (facts.ufwAcceptsByDefault)
            return {Mark::Passed, u"ufw は有効ですが、受信を既定で許可しています。"_s, {}};
        if (!facts.ufwRules) {
            return {Mark::NotJudged, u"ufw が有効です（許可の規則は管理者でないと読めません）。"_s,
                    openWith(ufwCommands(servicePort))};
        }
        QStringList missing;
        for (const Port& port : ports) {
            if (!ufwRulesAllow(*facts.ufwRules, port.transport, port.number))
                missing.append(portText(port));
        }
        if (missing.isEmpty())
            return {Mark::Passed, u"ufw が有効で、%1 を許可しています。"_s.arg(all), {}};
        return {Mark::Failed, u"ufw が有効で、%1 を許可していません。"_s.arg(missing.join(u"、"_s)),
                u"端末で %1 を実行してください。"_s.arg(ufwCommands(servicePort))};
    }
    if (facts.firewalldRuns) {
        return {Mark::NotJudged, u"firewalld が動いています（規則は読めません）。"_s,
                openWith(firewalldCommands(servicePort))};
    }
    if (facts.nftRuleset) {
        bool open = true;
        bool accepted = true;
        for (const Port& port : ports) {
            const NftInput input = nftInputFor(*facts.nftRuleset, port.transport, port.number);
            open = open && input == NftInput::Open;
            accepted = accepted && input != NftInput::Filtered;
        }
        if (open)
            return {Mark::Passed, u"受信を止める規則はありません（nftables）。"_s, {}};
        if (accepted)
            return {Mark::Passed, u"nftables の規則が %1 を許可しています。"_s.arg(all), {}};
        return {Mark::NotJudged, u"nftables に受信を止める規則があり、%1 を許可する規則は見つかりません。"_s.arg(all),
                openWith(nftCommands(servicePort))};
    }
    const QString ufw = facts.ufw == FirewallFacts::Ufw::Inactive ? u"ufw は無効、"_s : QString();
    return {Mark::NotJudged,
            u"%1firewalld は動いていません。nftables の規則は読めません（nft がないか、管理者でないため）。"_s.arg(ufw),
            openWith(facts.ufw == FirewallFacts::Ufw::Absent ? nftCommands(servicePort) : ufwCommands(servicePort))};
}

} // namespace check
