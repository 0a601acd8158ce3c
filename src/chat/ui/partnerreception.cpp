#include "partnerreception.h"

#include "net/hostresolver.h"
#include "net/mdnsaddressbrowser.h"

#include <chrono>
#include <memory>

namespace chat::ui {

PartnerReception::PartnerReception(net::HostResolver& resolver, net::MdnsAddressBrowser* published, QObject* parent)
    : QObject(parent)
    , m_resolver(resolver)
    , m_published(published)
{
    m_holdTimer.setSingleShot(true);
    connect(&m_holdTimer, &QTimer::timeout, this, [this] { deliver(m_classifier.releaseDue()); });
}

void PartnerReception::start(const QString& partnerName, quint16 partnerPort)
{
    deliver(m_classifier.connectTo(partnerName, partnerPort));
    lookUp(partnerName);
}

void PartnerReception::stop()
{
    m_holdTimer.stop();
    deliver(m_classifier.releaseDue(true));
}

void PartnerReception::arrived(const core::Arrival& arrival)
{
    deliver(m_classifier.arrived(arrival));
    if (m_classifier.takeRelookupRequest())
        lookUp(m_classifier.partnerName());
}

void PartnerReception::lookUp(const QString& name)
{
    // A computer with two interfaces may send from the one its name does not resolve to; its mDNS
    // name publishes both. The classifier gets the addresses once every source has answered.
    struct Round
    {
        int waiting = 0;
        QList<QHostAddress> addresses;
    };
    auto round = std::make_shared<Round>(Round{m_published ? 2 : 1, {}});
    // The answer names the partner it was asked for: one for an earlier connection changes nothing.
    const auto answered = [this, name, round](const QList<QHostAddress>& addresses) {
        round->addresses += addresses;
        if (--round->waiting == 0)
            deliver(m_classifier.lookupAnswered(name, round->addresses));
    };
    m_resolver.resolveAsync(name, this, [answered](const net::Resolution& found) { answered(found.addresses); });
    if (m_published)
        m_published->lookUp(name, this, answered);
}

void PartnerReception::deliver(const QList<core::ReceivedLine>& lines)
{
    for (const core::ReceivedLine& line : lines)
        Q_EMIT received(line);
    if (const std::optional<core::SenderClassifier::TimePoint> deadline = m_classifier.holdDeadline()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
        m_holdTimer.start(std::max(wait, std::chrono::milliseconds(0)));
    } else {
        m_holdTimer.stop();
    }
}

} // namespace chat::ui
