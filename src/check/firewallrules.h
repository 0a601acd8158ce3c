#pragma once

#include <QByteArrayView>

namespace check {

/// A transport protocol a rule names.
enum class Transport { Udp, Tcp };

/**
 * Whether the port list @p portList covers @p port: a port ("1001"), a range ("1001:1002" as
 * iptables writes it, "1001-1002" as nftables does), or a comma list of these, in braces or not.
 */
bool portListCovers(QByteArrayView portList, quint16 port);

/**
 * Whether ufw's rules file (/etc/ufw/user.rules, in iptables-restore form) accepts @p transport
 * @p port on its user input chain. A rule without a port (all ports) or without a protocol (both)
 * counts; so does a rule limited to some senders, since those may include the partner.
 */
bool ufwRulesAllow(QByteArrayView rules, Transport transport, quint16 port);

/// What the nftables ruleset (as `nft list ruleset` prints it) does with incoming packets.
enum class NftInput {
    Open,     ///< no input chain drops or rejects anything
    Accepted, ///< input is filtered, but a rule accepts the port
    Filtered, ///< input is filtered and no rule plainly accepts the port
};

/// What @p ruleset does with incoming @p transport @p port.
NftInput nftInputFor(QByteArrayView ruleset, Transport transport, quint16 port);

} // namespace check
