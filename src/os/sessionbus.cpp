#include "sessionbus.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QString>

namespace os {

bool sessionBusAvailable()
{
    bool configured = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
    if (!configured) {
        const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
        configured = !runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + QStringLiteral("/bus"));
    }
    return configured && QDBusConnection::sessionBus().isConnected();
}

} // namespace os
