#include "firewallrules.h"

#include <QByteArray>
#include <QList>

#include <algorithm>

namespace check {

namespace {

QByteArray transportName(Transport transport)
{
    return transport == Transport::Udp ? QByteArrayLiteral("udp") : QByteArrayLiteral("tcp");
}

/// The word after @p key in @p words, or nothing.
QByteArray valueAfter(const QList<QByteArray>& words, const QByteArray& key)
{
    const qsizetype at = words.indexOf(key);
    return at >= 0 && at + 1 < words.size() ? words.at(at + 1) : QByteArray();
}

/// Whether an nftables rule line accepts @p transport @p port: "udp dport { 1001, 1002 } accept".
bool nftRuleAccepts(const QByteArray& rule, Transport transport, quint16 port)
{
    if (!rule.trimmed().endsWith("accept"))
        return false;
    const QByteArray key = transportName(transport) + " dport ";
    const qsizetype at = rule.indexOf(key);
    if (at < 0)
        return rule.simplified() == "accept"; // a bare verdict accepts everything that reaches it
    QByteArray portList = rule.mid(at + key.size());
    if (portList.startsWith('{'))
        portList = portList.left(portList.indexOf('}') + 1);
    else
        portList = portList.left(portList.indexOf(' '));
    return portListCovers(portList, port);
}

} // namespace

bool portListCovers(QByteArrayView portList, quint16 port)
{
    QByteArray list = portList.toByteArray().trimmed();
    if (list.startsWith('{') && list.endsWith('}'))
        list = list.sliced(1, list.size() - 2);
    for (QByteArray item : list.split(',')) {
        item = item.trimmed();
        const qsizetype dash = std::max(item.indexOf(':'), item.indexOf('-'));
        bool firstOk = false;
        bool lastOk = false;
        const uint first = (dash < 0 ? item : item.left(dash)).toUInt(&firstOk);
        const uint last = dash < 0 ? first : item.mid(dash + 1).toUInt(&lastOk);
        if (firstOk && (dash < 0 || lastOk) && first <= port && port <= last)
            return true;
    }
    return false;
}

bool ufwRulesAllow(QByteArrayView rules, Transport transport, quint16 port)
{
    for (const QByteArray& line : rules.toByteArray().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (valueAfter(words, "-A") != "ufw-user-input")
            continue;
        const QByteArray target = valueAfter(words, "-j");
        if (target != "ACCEPT" && target != "ufw-user-limit-accept")
            continue;
        const QByteArray protocol = valueAfter(words, "-p");
        if (!protocol.isEmpty() && protocol != transportName(transport))
            continue;
        const QByteArray ports =
            words.contains("--dport") ? valueAfter(words, "--dport") : valueAfter(words, "--dports");
        if (ports.isEmpty() || portListCovers(ports, port))
            return true;
    }
    return false;
}

NftInput nftInputFor(QByteArrayView ruleset, Transport transport, quint16 port)
{
    bool inInputChain = false;
    bool filtered = false;
    bool accepted = false;
    for (const QByteArray& raw : ruleset.toByteArray().split('\n')) {
        const QByteArray line = raw.simplified();
        if (line.startsWith("chain ")) {
            inInputChain = false;
            continue;
        }
        if (line.startsWith("type filter hook input")) {
            inInputChain = true;
            filtered = filtered || line.contains("policy drop");
            continue;
        }
        if (!inInputChain)
            continue;
        if (line.endsWith("drop") || line.endsWith("reject") || line.contains(" reject with "))
            filtered = true;
        else if (nftRuleAccepts(line, transport, port))
            accepted = true;
    }
    if (!filtered)
        return NftInput::Open;
    return accepted ? NftInput::Accepted : NftInput::Filtered;
}

} // namespace check
