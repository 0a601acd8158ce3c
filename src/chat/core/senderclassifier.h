#pragma once

#include "common/logline.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <iterator>
#include <optional>

namespace chat::core {

/// Prefix of a stranger's message in the log.
inline constexpr char16_t StrangerPrefix[] = u"他のPC>";

/// A received datagram as the socket reported it.
struct Arrival
{
    QString text;
    QHostAddress address; ///< where it came from
    quint16 port = 0;     ///< the port it came from
    QString ownHost;      ///< this PC's name when it arrived
    QString dateTime;     ///< when it arrived, as the log writes it
};

/// A received datagram as the window shows and logs it.
struct ReceivedLine
{
    bool fromPartner = false;
    QString source;      ///< a stranger's address, with the port when it is not the partner's; empty for the partner
    QString displayLine; ///< List1's line
    common::LogLine logLine; ///< List2's line and the log's record
};

/**
 * Decides whether a received datagram is the partner's: only when its source port is the partner's
 * port and its source address is one of the addresses the partner name is known by, or, when the
 * name is this machine (it resolves to a loopback address or to one of this machine's own), any
 * address of this machine: a name that the hosts file maps to 127.0.1.1 sends from 127.0.0.1 or a
 * LAN address. Every other datagram is kept and shown under its own address, never as the
 * partner's, so nobody else on the network can speak or be logged as the partner.
 *
 * The partner's addresses come from a lookup that answers later. Datagrams that arrive before the
 * first answer are held, in order, until it comes or its time is up (HoldLimit), and are then
 * classified with what is known. A datagram from an unknown sender asks for another lookup, at most
 * once every RelookupInterval, so that a partner whose address changed is recognised again.
 */
class SenderClassifier final
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Clock = std::function<TimePoint()>;

    /// The longest a datagram waits for the first lookup: the lookup's own budget.
    static constexpr std::chrono::milliseconds HoldLimit{2000};
    static constexpr std::chrono::milliseconds RelookupInterval{10000};
    /// Held datagrams beyond this many are not waited for: a flood must not pile up while held.
    static constexpr int MaxHeld = 1000;

    /// This machine's own addresses; asked again with every answer of a lookup, as interfaces come and go.
    using LocalAddresses = std::function<QList<QHostAddress>()>;

    explicit SenderClassifier(
        Clock clock = [] { return std::chrono::steady_clock::now(); }, LocalAddresses localAddresses = {});

    /**
     * Starts over for a new connection to @p partnerName, whose datagrams come from @p partnerPort,
     * with its first lookup started now. @return what was still held for the previous connection,
     * classified with what was known of it, so that nothing is lost.
     */
    [[nodiscard]] QList<ReceivedLine> connectTo(const QString& partnerName, quint16 partnerPort);

    /**
     * A lookup of @p name answered @p addresses (empty when it failed). An answer for another name
     * than the partner's (a lookup of an earlier connection) changes nothing. @return what was held.
     */
    QList<ReceivedLine> lookupAnswered(const QString& name, const QList<QHostAddress>& addresses);

    /// A datagram arrived. @return it and any held before it when they can be classified; nothing while held.
    QList<ReceivedLine> arrived(const Arrival& arrival);

    /// The held datagrams whose wait is over (all of them once the hold limit passed or on @p all).
    QList<ReceivedLine> releaseDue(bool all = false);

    /// When releaseDue() has something to do next; nullopt when nothing is held.
    std::optional<TimePoint> holdDeadline() const;

    /**
     * Whether the partner should be looked up again now; true at most once every RelookupInterval,
     * and only after a datagram from an unknown sender since the last lookup.
     * Asking marks the lookup as started.
     */
    bool takeRelookupRequest();

    /// The partner name of the current connection.
    const QString& partnerName() const { return m_partnerName; }

    /// Whether @p address:@p port is the partner, by the last answer.
    bool isPartner(const QHostAddress& address, quint16 port) const;

private:
    ReceivedLine classify(const Arrival& arrival);
    QList<ReceivedLine> releaseAll();
    bool isThisMachine(const QHostAddress& plainAddress) const;

    Clock m_clock;
    LocalAddresses m_localAddresses;
    QString m_partnerName;
    quint16 m_partnerPort = 0;
    QList<QHostAddress> m_partnerAddresses;
    QList<QHostAddress> m_ownAddresses; ///< this machine's, as the last answer found them
    bool m_partnerIsThisMachine = false;
    bool m_answered = false; ///< the first lookup answered or its time is up
    TimePoint m_holdUntil{};
    std::deque<Arrival> m_held;
    std::optional<TimePoint> m_lastLookup;
    bool m_strangerSinceLookup = false;
};

} // namespace chat::core
