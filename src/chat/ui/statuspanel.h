#pragma once

#include "chat/core/statustext.h"

#include <QLabel>

namespace net {
class HostResolver;
} // namespace net

namespace chat::ui {

/**
 * The main window's one status-bar panel: this PC's port, the partner's name, address and port,
 * the time of the last arrival and a port-unreachable notice. It only informs; nothing is decided
 * on what it shows. The whole text is also its tooltip, for when the panel is too narrow.
 */
class StatusPanel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusPanel)

public:
    explicit StatusPanel(QWidget* parent = nullptr);

    /// Connected on @p localPort to @p partnerName at @p partnerPort; the address is asked of @p resolver.
    void showConnected(quint16 localPort, const QString& partnerName, quint16 partnerPort, net::HostResolver& resolver);
    /// Not connected.
    void showDisconnected();
    /// A datagram arrived at @p time, from @p stranger (empty for the partner). A burst updates the panel once.
    void noteArrival(QTime time, const QString& stranger = {});
    /// A send to @p port came back as "port unreachable"; counts only for the partner's port.
    void notePortUnreachable(quint16 port);

    const core::ConnectionStatus& status() const { return m_status; }

private:
    void scheduleUpdate();
    void refresh();

    core::ConnectionStatus m_status;
    bool m_updatePending = false;
    quint64 m_partnerLookup = 0; ///< counts the partner lookups; only the last one's answer counts
};

} // namespace chat::ui
