#pragma once

#include "chat/senderclassifier.h"

#include <QObject>
#include <QTimer>

namespace platform {
class HostResolver;
class MdnsAddressBrowser;
} // namespace platform

namespace chat {

/**
 * Receiving for the main window: every datagram goes through a SenderClassifier, which attributes
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
    PartnerReception(platform::HostResolver& resolver, platform::MdnsAddressBrowser* published,
                     QObject* parent = nullptr);

    /// Connected to @p partnerName, whose datagrams come from @p partnerPort: looks its addresses up.
    void start(const QString& partnerName, quint16 partnerPort);
    /// Disconnected: whatever is still held comes out now.
    void stop();
    /// A datagram arrived.
    void arrived(const Arrival& arrival);

Q_SIGNALS:
    void received(const chat::ReceivedLine& line);

private:
    void lookUp(const QString& name);
    void deliver(const QList<ReceivedLine>& lines);

    platform::HostResolver& m_resolver;
    platform::MdnsAddressBrowser* m_published;
    SenderClassifier m_classifier;
    QTimer m_holdTimer;
};

} // namespace chat
