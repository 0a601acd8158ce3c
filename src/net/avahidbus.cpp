#include "avahidbus.h"

#include <QDBusConnectionInterface>
#include <QDBusError>

#include <algorithm>

namespace net::avahi {

Availability availability(const QDBusConnection& bus, std::chrono::milliseconds timeout, QString* detail)
{
    if (!bus.isConnected()) {
        if (detail)
            *detail = bus.lastError().message();
        return Availability::NoBus;
    }
    QDBusMessage ask =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << service();
    const QDBusMessage reply =
        QDBusConnection(bus).call(ask, QDBus::Block, static_cast<int>(std::max<long long>(1, timeout.count())));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (detail)
            *detail = reply.errorMessage();
        return Availability::BusNotAnswering;
    }
    return reply.arguments().constFirst().toBool() ? Availability::Available : Availability::NoDaemon;
}

QString unavailableReason(Availability availability)
{
    switch (availability) {
    case Availability::Available:
        return {};
    case Availability::NoBus:
        return QStringLiteral("システムの D-Bus に接続できません");
    case Availability::BusNotAnswering:
        return QStringLiteral("システムの D-Bus が応答しません");
    case Availability::NoDaemon:
        return QStringLiteral("Avahi デーモンが動いていません");
    }
    return {};
}

QString unavailableReason(const QDBusConnection& bus, std::chrono::milliseconds timeout)
{
    QString detail;
    const Availability found = availability(bus, timeout, &detail);
    const QString reason = unavailableReason(found);
    return detail.isEmpty() || found == Availability::NoDaemon ? reason : reason + QStringLiteral(": ") + detail;
}

QList<QDBusMessage> takeSignalsOf(QList<QDBusMessage>& held, const QString& path)
{
    QList<QDBusMessage> taken;
    for (auto it = held.begin(); it != held.end();) {
        if (it->path() == path) {
            taken.append(*it);
            it = held.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

ErrorKind errorKind(const QDBusMessage& reply)
{
    const QString name = reply.errorName();
    if (name == QLatin1StringView("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1StringView("org.freedesktop.Avahi.TimeoutError"))
        return ErrorKind::TimedOut;
    if (name == QLatin1StringView("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1StringView("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name == QLatin1StringView("org.freedesktop.DBus.Error.Disconnected"))
        return ErrorKind::DaemonGone;
    return ErrorKind::Other;
}

QString describeError(const QDBusMessage& reply)
{
    switch (errorKind(reply)) {
    case ErrorKind::TimedOut:
        return QStringLiteral("Avahi が時間内に応答しませんでした");
    case ErrorKind::DaemonGone:
        return QStringLiteral("Avahi デーモンが動いていません");
    case ErrorKind::Other:
        break;
    }
    const QString message = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    return QStringLiteral("Avahi のエラー: ") + message;
}

} // namespace net::avahi
