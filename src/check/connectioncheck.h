#pragma once

/*
 * The connection check: why two PCs do not reach each other, item by item, each with ○/× and one
 * sentence of remedy. The items run side by side and report as they end; the slow ones (the name
 * lookup, the connection to the partner's service) are asynchronous and the few blocking reads run
 * on threads of their own, so the caller's event loop never waits. The whole check ends within its
 * budget: what has not answered by then is reported as not judged.
 *
 * Each item is a small unit of its own that turns what it found into a Row: thispc.h, localport.h,
 * servicerows.h (this PC's and the partner's notification service, probed by tcpprobe.h),
 * avahirow.h, nameresolution.h, unreachablerow.h and firewall.h.
 */

#include "chat/core/chatrules.h"
#include "check/checkrow.h"
#include "check/firewall.h"
#include "check/nameresolution.h"
#include "check/unreachablerow.h"
#include "net/notificationprotocol.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace check {

/// What to check: the partner and role as the main window has them, and what its socket heard.
struct Request
{
    QString partner;
    chat::core::Role role = chat::core::Role::PC1;
    ChatSocketReport chatSocket;
};

/// How the check reaches the system; tests replace the parts they cannot do for real.
struct Settings
{
    quint16 servicePort = net::notification::DefaultPort;
    std::chrono::milliseconds budget{2700}; ///< the whole check, from start() to finished()
    LookupSettings lookup;
    /// Why Avahi cannot be used (empty: it can); blocks, so it runs on a thread of its own.
    std::function<QString()> avahiUnavailable;
    /// The firewall's facts; blocks, so it runs on a thread of its own.
    std::function<FirewallFacts()> firewall;
    QString procRoot = QStringLiteral("/proc");
    QString programPath; ///< this program, for the remedy that grants the port capability
    QString servicePath; ///< the notification service program, for the remedy that starts it
    ErrorText errorText; ///< required: words a failure the rows pass on

    /// The system's own: the real name services with mDNS over Avahi on the system bus, the
    /// system's firewall, this program's folder, and @p errorText. Needs the application object.
    static Settings system(ErrorText errorText);
};

class ConnectionCheck final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectionCheck)

public:
    explicit ConnectionCheck(Settings settings, QObject* parent = nullptr);

    /// Starts the check of @p request; a check still running is abandoned (its late answers are dropped).
    void start(const Request& request);

    const Request& request() const { return m_request; }
    /// One row per Item, in Item order; Pending until its item has ended.
    const QList<Row>& rows() const { return m_rows; }
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    /// The row of @p item has its result.
    void rowFinished(check::Item item);
    /// Every row has its result, or the budget has run out.
    void finished();

private:
    void startLocalItems(quint64 generation);
    void nameLookedUp(quint64 generation, const NameLookup& lookup);
    void setRow(quint64 generation, Item item, Row row);
    void budgetRanOut();
    std::chrono::milliseconds timeLeft() const;

    Settings m_settings;
    Request m_request;
    QList<Row> m_rows;
    bool m_running = false;
    quint64 m_generation = 0;
    QTimer m_deadline;
    std::chrono::steady_clock::time_point m_started;
};

} // namespace check
