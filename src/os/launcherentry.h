#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace os {

/**
 * The count on the program's entry in the taskbar or dock, through the Update signal of the
 * com.canonical.Unity.LauncherEntry interface on the session bus, which KDE Plasma's task manager,
 * Ubuntu's dock and Dash to Dock read. The entry is named by the program's desktop file
 * ("application://<desktop id>.desktop"). Nothing waits for an answer, and without a session bus
 * nothing is sent.
 *
 * A change is sent at once when none was sent within the last Interval; otherwise the latest one is
 * sent when that interval is over, so a flood of messages costs a few signals a second, not one each.
 */
class LauncherEntry final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LauncherEntry)

public:
    static constexpr std::chrono::milliseconds Interval{250};
    static constexpr char16_t Interface[] = u"com.canonical.Unity.LauncherEntry";

    /// @p desktopId: the desktop file's name without ".desktop".
    explicit LauncherEntry(const QString& desktopId, QObject* parent = nullptr);

    /// Whether a session bus is connected (a taskbar that reads the count may still be missing).
    bool available() const { return m_available; }

    /// Shows @p count on the entry; 0 takes the count away.
    void setCount(qint64 count);

    /// The application's URI in the signal, "application://<desktop id>.desktop".
    const QString& appUri() const { return m_appUri; }

private:
    void send();

    QString m_appUri;
    QString m_path;
    bool m_available = false;
    qint64 m_count = 0;
    qint64 m_sentCount = 0;
    QTimer m_interval;
};

} // namespace os
