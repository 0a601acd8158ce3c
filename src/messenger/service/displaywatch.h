#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <memory>

class QSocketNotifier;

namespace messenger::service {

/**
 * Notices that the display the pop-ups are shown on has ended: the X server or Wayland compositor
 * went away, as at the end of a session. The service shows no windows itself and so has no
 * connection through which Qt would end it with its display; it holds one of its own that carries
 * nothing, only to see it break. Idle, this costs no time: the connection's socket is only watched.
 */
class DisplayWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DisplayWatch)

public:
    enum class Protocol { X11, Wayland };
    /// The connection itself, one kind per protocol (displaywatch.cpp).
    struct Connection;

    /**
     * Connects as Qt's plugin for @p protocol does: X11 to @p x11Display, or when that is empty to
     * DISPLAY (with XAUTHORITY); Wayland to WAYLAND_DISPLAY in XDG_RUNTIME_DIR.
     */
    explicit DisplayWatch(Protocol protocol, const QByteArray& x11Display = {}, QObject* parent = nullptr);
    ~DisplayWatch() override;

    /// Whether the connection was made and has not broken.
    bool isConnected() const;

    /**
     * Reads what has come from the display without waiting, and emits displayLost() if the
     * connection has broken. For a caller that must know now, before the socket's turn comes.
     */
    void check();

    /// The X display named by Qt's -display option in @p arguments (the program's own), empty if none.
    static QByteArray x11DisplayOption(const QStringList& arguments);

Q_SIGNALS:
    /// The connection to the display has broken; emitted once.
    void displayLost();

private:
    std::unique_ptr<Connection> m_connection;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace messenger::service
