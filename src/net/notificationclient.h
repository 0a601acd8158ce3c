#pragma once

#include "net/notificationprotocol.h"

#include <QString>

#include <chrono>

namespace net {

class HostResolver;

/**
 * Client of the notification service tavik-messenger: delivers one text to the service on the
 * named computer, which shows it in a pop-up. Stands in for the Windows messenger service.
 */
class NotificationClient
{
public:
    static constexpr quint32 NameNotFound = 2273;

    /// @p resolver nullptr uses HostResolver::shared().
    explicit NotificationClient(HostResolver* resolver = nullptr, quint16 port = net::notification::DefaultPort,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5));
    virtual ~NotificationClient();
    NotificationClient(const NotificationClient&) = delete;
    NotificationClient& operator=(const NotificationClient&) = delete;

    /**
     * Sends @p text to the service on @p recipient and waits for its reply, never longer than
     * the timeout in all. @return 0 when the pop-up is on the screen; 2273 when the name cannot be
     * resolved, the connection is refused or no reply comes in time; the service's status otherwise.
     */
    virtual quint32 send(const QString& recipient, const QString& text);

private:
    HostResolver* m_resolver;
    quint16 m_port;
    std::chrono::milliseconds m_timeout;
};

} // namespace net
