#pragma once

#include "chat/core/senderclassifier.h"

#include <QObject>
#include <QTimer>

namespace net {
class HostResolver;
class MdnsAddressBrowser;
} // namespace net

namespace chat::ui {

/**
 * Receiving for the main window: every datagram goes through a core::SenderClassifier, which attributes
 * it to the partner only when it comes from one of the partner name's addresses and the partner's
 * port. This class runs what the classifier asks for: the partner's lookups in the background,
 * and the timer that releases datagrams held while the first lookup is under way. Each datagram
 * comes out once, in the order it arrived, as a received() signal.
 *
 * A lookup asks the resolver and, where there is an mDNS browser, also for every address the name
 * publishes by multicast DNS; the classifier gets both answers together.
 */
class PartnerReception final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PartnerReception)

public:
    /// @p published may be null: then only the resolver is asked.
    PartnerReception(net::HostResolver& resolver, net::MdnsAddressBrowser* published, QObject* parent = nullptr);

    /// Connected to @p partnerName, whose datagrams come from @p partnerPort: looks its addresses up.
    void start(const QString& partnerName, quint16 partnerPort);
    /// Disconnected: whatever is still held comes out now.
    void stop();
    /// A datagram arrived.
    void arrived(const core::Arrival& arrival);

Q_SIGNALS:
    void received(const chat::core::ReceivedLine& line);

private:
    void lookUp(const QString& name);
    void deliver(const QList<core::ReceivedLine>& lines);

    net::HostResolver& m_resolver;
    net::MdnsAddressBrowser* m_published;
    core::SenderClassifier m_classifier;
    QTimer m_holdTimer;
};

} // namespace chat::ui
