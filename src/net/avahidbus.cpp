#include "avahidbus.h"

#include <QDBusConnectionInterface>
#include <QDBusError>

#include <algorithm>

namespace net::avahi {

QString unavailableReason(const QDBusConnection& bus, std::chrono::milliseconds timeout)
{
    if (!bus.isConnected()) {
        const QString detail = bus.lastError().message();
        return detail.isEmpty() ? QStringLiteral("システムの D-Bus に接続できません")
                                : QStringLiteral("システムの D-Bus に接続できません: ") + detail;
    }
    QDBusMessage ask =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << service();
    const QDBusMessage reply =
        QDBusConnection(bus).call(ask, QDBus::Block, static_cast<int>(std::max<long long>(1, timeout.count())));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QStringLiteral("システムの D-Bus が応答しません: ") + reply.errorMessage();
    if (!reply.arguments().constFirst().toBool())
        return QStringLiteral("Avahi デーモンが動いていません");
    return {};
}

QString describeError(const QDBusMessage& reply)
{
    const QString name = reply.errorName();
    if (name == QLatin1StringView("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1StringView("org.freedesktop.Avahi.TimeoutError"))
        return QStringLiteral("Avahi が時間内に応答しませんでした");
    if (name == QLatin1StringView("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1StringView("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name == QLatin1StringView("org.freedesktop.DBus.Error.Disconnected"))
        return QStringLiteral("Avahi デーモンが動いていません");
    const QString message = reply.errorMessage().isEmpty() ? name : reply.errorMessage();
    return QStringLiteral("Avahi のエラー: ") + message;
}

} // namespace net::avahi
