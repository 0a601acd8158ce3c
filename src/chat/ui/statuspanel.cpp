#include "statuspanel.h"

#include "common/twips.h"
#include "net/hostresolver.h"

using namespace Qt::StringLiterals;

namespace chat::ui {

StatusPanel::StatusPanel(QWidget* parent)
    : QLabel(parent)
{
    setObjectName(u"StatusBar1Panel"_s);
    setTextFormat(Qt::PlainText);
    setMinimumWidth(common::px(1440));
    refresh();
}

void StatusPanel::showConnected(quint16 localPort, const QString& partnerName, quint16 partnerPort,
                                net::HostResolver& resolver)
{
    m_status = core::ConnectionStatus{};
    m_status.connected = true;
    m_status.localPort = localPort;
    m_status.partnerPort = partnerPort;
    m_status.partnerName = partnerName;
    refresh(); // "名前解決中" until the address is known
    // The resolver the socket and the partner notification use, so that a name found only by
    // multicast DNS shows its address too. It answers in the background; the notification that
    // follows joins the same lookup, and its answer, a timeout included, is cached for it, so
    // connecting waits one budget at most.
    const quint64 lookup = ++m_partnerLookup;
    resolver.resolveAsync(partnerName, this, [this, lookup](const net::Resolution& found) {
        if (!m_status.connected || lookup != m_partnerLookup)
            return; // the answer for an earlier connection
        m_status.addressState = found.addresses.isEmpty() ? core::ConnectionStatus::Address::NotFound
                                                          : core::ConnectionStatus::Address::Found;
        if (!found.addresses.isEmpty())
            m_status.partnerAddress = found.addresses.first().toString();
        refresh();
    });
}

void StatusPanel::showDisconnected()
{
    m_status = core::ConnectionStatus{};
    refresh();
}

void StatusPanel::noteArrival(QTime time, const QString& stranger)
{
    m_status.lastArrival = time;
    m_status.lastStranger = stranger;
    m_status.partnerUnreachable = false;
    scheduleUpdate();
}

void StatusPanel::notePortUnreachable(quint16 port)
{
    if (!m_status.connected || port != m_status.partnerPort)
        return;
    m_status.partnerUnreachable = true;
    refresh();
}

// A burst of arrivals changes the status many times within one turn of the event loop; the
// panel shows only the last state, so it is updated once, when the burst has been handled.
void StatusPanel::scheduleUpdate()
{
    if (m_updatePending)
        return;
    m_updatePending = true;
    QMetaObject::invokeMethod(this, &StatusPanel::refresh, Qt::QueuedConnection);
}

void StatusPanel::refresh()
{
    m_updatePending = false;
    const QString text = core::statusText(m_status);
    setText(text);
    setToolTip(text);
}

} // namespace chat::ui
