#include "displaywatch.h"

#include <QSocketNotifier>

#include <cstdlib>

#include <poll.h>
#include <wayland-client.h>
#include <xcb/xcb.h>

namespace messenger::service {

struct DisplayWatch::Connection
{
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    virtual ~Connection() = default;

    virtual int descriptor() const = 0;
    /// Reads and drops whatever has come, without waiting; false once the connection is broken.
    virtual bool drain() = 0;
};

namespace {

class X11Connection final : public DisplayWatch::Connection
{
public:
    explicit X11Connection(const QByteArray& display)
        : m_connection(xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr))
    {}
    ~X11Connection() override { xcb_disconnect(m_connection); }

    bool connected() const { return xcb_connection_has_error(m_connection) == 0; }
    int descriptor() const override { return xcb_get_file_descriptor(m_connection); }
    bool drain() override
    {
        // No events are selected, but the server sends some to every client (keyboard mapping).
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
            std::free(event);
        return connected();
    }

private:
    xcb_connection_t* m_connection; // never null: a failed connection is an object in error
};

class WaylandConnection final : public DisplayWatch::Connection
{
public:
    WaylandConnection()
        : m_display(wl_display_connect(nullptr))
    {}
    ~WaylandConnection() override
    {
        if (m_display)
            wl_display_disconnect(m_display);
    }

    bool connected() const { return m_display && wl_display_get_error(m_display) == 0; }
    int descriptor() const override { return wl_display_get_fd(m_display); }
    bool drain() override
    {
        // Nothing is bound, so only the display's own messages can come. The read is the one
        // libwayland allows between prepare and read/cancel, and never waits.
        while (wl_display_prepare_read(m_display) != 0)
            if (wl_display_dispatch_pending(m_display) < 0)
                return false;
        pollfd socket{wl_display_get_fd(m_display), POLLIN, 0};
        if (::poll(&socket, 1, 0) > 0) {
            if (wl_display_read_events(m_display) < 0)
                return false; // the compositor closed the socket
        } else {
            wl_display_cancel_read(m_display);
        }
        return wl_display_dispatch_pending(m_display) >= 0 && connected();
    }

private:
    wl_display* m_display;
};

} // namespace

DisplayWatch::DisplayWatch(Protocol protocol, const QByteArray& x11Display, QObject* parent)
    : QObject(parent)
{
    if (protocol == Protocol::X11) {
        auto x11 = std::make_unique<X11Connection>(x11Display);
        if (x11->connected())
            m_connection = std::move(x11);
    } else {
        auto wayland = std::make_unique<WaylandConnection>();
        if (wayland->connected())
            m_connection = std::move(wayland);
    }
    if (!m_connection)
        return;
    m_notifier = new QSocketNotifier(m_connection->descriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DisplayWatch::check);
}

DisplayWatch::~DisplayWatch() = default;

bool DisplayWatch::isConnected() const
{
    return m_notifier && m_notifier->isEnabled();
}

void DisplayWatch::check()
{
    if (!isConnected() || m_connection->drain())
        return;
    // A broken socket stays readable: stop watching it.
    m_notifier->setEnabled(false);
    Q_EMIT displayLost();
}

QByteArray DisplayWatch::x11DisplayOption(const QStringList& arguments)
{
    // Qt's X11 plugin reads "-display NAME" (or "--display NAME") itself; the last one counts.
    QByteArray display;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("-display") || arguments.at(i) == QLatin1String("--display"))
            display = arguments.at(++i).toLocal8Bit();
    }
    return display;
}

} // namespace messenger::service
