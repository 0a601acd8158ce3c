#pragma once

// Names and numbers of the Avahi daemon's D-Bus API (org.freedesktop.Avahi on the system bus),
// shared by the computer browser, the mDNS resolver and the notification service's publisher.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QString>

#include <chrono>

namespace net::avahi {

inline QString service()
{
    return QStringLiteral("org.freedesktop.Avahi");
}
inline QString serverPath()
{
    return QStringLiteral("/");
}
inline QString serverInterface()
{
    return QStringLiteral("org.freedesktop.Avahi.Server");
}
/// Avahi 0.8's server interface; it adds the *Prepare methods (create a browser without starting it).
inline QString server2Interface()
{
    return QStringLiteral("org.freedesktop.Avahi.Server2");
}
inline QString serviceBrowserInterface()
{
    return QStringLiteral("org.freedesktop.Avahi.ServiceBrowser");
}
inline QString recordBrowserInterface()
{
    return QStringLiteral("org.freedesktop.Avahi.RecordBrowser");
}
inline QString entryGroupInterface()
{
    return QStringLiteral("org.freedesktop.Avahi.EntryGroup");
}

/// The service every tavik-messenger publishes.
inline QString messengerServiceType()
{
    return QStringLiteral("_tavik-msg._tcp");
}

constexpr int IfUnspec = -1;    ///< AVAHI_IF_UNSPEC: every interface
constexpr int ProtoUnspec = -1; ///< AVAHI_PROTO_UNSPEC: IPv4 and IPv6
constexpr int ProtoInet = 0;    ///< AVAHI_PROTO_INET
constexpr int ProtoInet6 = 1;   ///< AVAHI_PROTO_INET6

/// AvahiServerState
enum ServerState : int {
    ServerInvalid = 0,
    ServerRegistering = 1,
    ServerRunning = 2,
    ServerCollision = 3,
    ServerFailure = 4
};

/// AvahiEntryGroupState
enum GroupState : int {
    GroupUncommitted = 0,
    GroupRegistering = 1,
    GroupEstablished = 2,
    GroupCollision = 3,
    GroupFailure = 4
};

/// A call to the daemon's server object.
inline QDBusMessage serverCall(const QString& method, const QString& interface = serverInterface())
{
    return QDBusMessage::createMethodCall(service(), serverPath(), interface, method);
}

/// Whether the Avahi daemon can be reached on a bus.
enum class Availability { Available, NoBus, BusNotAnswering, NoDaemon };

/**
 * Whether Avahi can be used on @p bus right now. Asks the bus daemon only (NameHasOwner), so that
 * no activation of a missing daemon is attempted, and waits at most @p timeout for its answer.
 * @p detail, when given, receives the bus's own (English) words for a failure.
 */
Availability availability(const QDBusConnection& bus,
                          std::chrono::milliseconds timeout = std::chrono::milliseconds(1000),
                          QString* detail = nullptr);

/// Why Avahi cannot be used, as a short Japanese reason without the bus's own words; empty when it can.
QString unavailableReason(Availability availability);

/**
 * Why Avahi cannot be used on @p bus right now, as a short Japanese reason followed by the bus's
 * own words, or an empty text when the daemon is on the bus (see availability()).
 */
QString unavailableReason(const QDBusConnection& bus,
                          std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

/// What an error reply of the daemon means for its caller.
enum class ErrorKind { TimedOut, DaemonGone, Other };
ErrorKind errorKind(const QDBusMessage& reply);

/**
 * Takes the signals of the browser at @p path out of @p held, in the order they came. A browser that
 * Avahi starts on creation may signal before the reply that names its path; such signals are held
 * until the path is known.
 */
QList<QDBusMessage> takeSignalsOf(QList<QDBusMessage>& held, const QString& path);

/// A Japanese text for an error reply of the daemon; Avahi's own messages are English and short.
QString describeError(const QDBusMessage& reply);

} // namespace net::avahi
