#pragma once

#include <QString>

namespace messenger {

/**
 * Raises desktop notifications through org.freedesktop.Notifications on the session bus. Calls are
 * asynchronous and their answers ignored, so a slow or missing notification server never holds up
 * the service. Without a session bus nothing is sent.
 */
class DesktopNotifier final
{
public:
    DesktopNotifier();

    /// Whether a session bus is connected (a notification server may still be missing on it).
    bool available() const { return m_available; }

    /// Sends one notification; @p summary and @p body are plain text and escaped for the server.
    void notify(const QString& summary, const QString& body) const;

    /// @p text with the characters a notification server reads as markup escaped.
    static QString escapeMarkup(const QString& text);

private:
    bool m_available = false;
};

} // namespace messenger
