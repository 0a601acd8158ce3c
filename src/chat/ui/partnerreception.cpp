#include "partnerreception.h"

#include "net/hostresolver.h"

#include <chrono>

namespace chat::ui {

PartnerReception::PartnerReception(net::HostResolver& resolver, QObject* parent)
    : QObject(parent)
    , m_resolver(resolver)
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
    // The answer names the partner it was asked for: one for an earlier connection changes nothing.
    m_resolver.resolveAsync(name, this, [this, name](const net::Resolution& found) {
        deliver(m_classifier.lookupAnswered(name, found.addresses));
    });
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
