#pragma once

#include "check/checkrow.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace check {

/// What could be read of this PC's firewall without privileges (and with them, where the check has them).
struct FirewallFacts
{
    enum class Ufw { Absent, Inactive, Active };
    Ufw ufw = Ufw::Absent;
    bool ufwAcceptsByDefault = false;     ///< ufw's default input policy is ACCEPT
    std::optional<QByteArray> ufwRules;   ///< /etc/ufw/user.rules, when it could be read (root only)
    bool firewalldRuns = false;           ///< a firewalld process runs
    std::optional<QByteArray> nftRuleset; ///< `nft list ruleset`, when it could be read (root only)
};

/// Where the facts are read from; the system's places by default.
struct FirewallPaths
{
    QString ufwConfig = QStringLiteral("/etc/ufw/ufw.conf");
    QString ufwDefaults = QStringLiteral("/etc/default/ufw");
    QString ufwRules = QStringLiteral("/etc/ufw/user.rules");
    QString procRoot = QStringLiteral("/proc");
    QString nftProgram; ///< empty: nft searched on PATH and in /usr/sbin and /sbin
};

/// Reads the facts. Runs `nft list ruleset` (at most a second); call it off the UI thread.
FirewallFacts readFirewallFacts(const FirewallPaths& paths = {});

/**
 * The row for the chat's ports (UDP 1001–1002) and the notification service's TCP @p servicePort:
 * passed when the firewall that runs lets them in, or none filters incoming packets; failed when
 * its readable rules leave one out; not judged when the rules cannot be read. Every row that is
 * not passed gives the commands that open the ports for the firewall found.
 */
Row firewallRow(const FirewallFacts& facts, quint16 servicePort);

} // namespace check
