#include "senderclassifier.h"

#include "net/hostaddress.h"

#include "messagelines.h"

#include <QNetworkInterface>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace chat::core {

namespace {

/// A stranger as the list, the log and the status bar name it: the address, with the port when
/// it is not the partner's ("[v6]:port" for IPv6, so that the port stays apart from the address).
QString sourceText(const QHostAddress& address, quint16 port, quint16 partnerPort)
{
    QString text = address.toString();
    if (port == partnerPort)
        return text;
    const bool ipv6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    return (ipv6 ? u'[' + text + u']' : text) + u':' + QString::number(port);
}

} // namespace

SenderClassifier::SenderClassifier(Clock clock, LocalAddresses localAddresses)
    : m_clock(std::move(clock))
    , m_localAddresses(localAddresses ? std::move(localAddresses) : &QNetworkInterface::allAddresses)
{
    // Until the first connection nothing is looked up, so nothing is waited for.
    m_answered = true;
}

QList<ReceivedLine> SenderClassifier::connectTo(const QString& partnerName, quint16 partnerPort)
{
    QList<ReceivedLine> earlier = releaseDue(true);
    const TimePoint now = m_clock();
    m_partnerName = partnerName;
    m_partnerPort = partnerPort;
    m_partnerAddresses.clear();
    m_partnerIsThisMachine = false;
    m_answered = false;
    m_holdUntil = now + HoldLimit;
    m_lastLookup = now;
    m_strangerSinceLookup = false;
    return earlier;
}

QList<ReceivedLine> SenderClassifier::lookupAnswered(const QString& name, const QList<QHostAddress>& addresses)
{
    if (name != m_partnerName)
        return {};
    QList<QHostAddress> partner;
    for (const QHostAddress& address : addresses) {
        const QHostAddress plain = net::plainAddress(address);
        if (!plain.isNull() && !partner.contains(plain))
            partner.append(plain);
    }
    // A later lookup that fails (the name server is away for a moment) keeps what the last one found.
    if (!partner.isEmpty() || !m_answered) {
        m_partnerAddresses = partner;
        m_ownAddresses.clear();
        for (const QHostAddress& address : m_localAddresses())
            m_ownAddresses.append(net::plainAddress(address));
        m_partnerIsThisMachine = std::any_of(partner.cbegin(), partner.cend(),
                                             [this](const QHostAddress& address) { return isThisMachine(address); });
    }
    if (m_answered)
        return {};
    m_answered = true;
    return releaseAll();
}

QList<ReceivedLine> SenderClassifier::arrived(const Arrival& arrival)
{
    if (m_answered)
        return {classify(arrival)};
    m_held.push_back(arrival);
    if (std::ssize(m_held) > MaxHeld)
        return releaseDue(true);
    return releaseDue();
}

QList<ReceivedLine> SenderClassifier::releaseDue(bool all)
{
    if (m_answered || (!all && m_clock() < m_holdUntil))
        return {};
    // The lookup did not answer in time: the held ones are classified with what is known.
    m_answered = true;
    return releaseAll();
}

std::optional<SenderClassifier::TimePoint> SenderClassifier::holdDeadline() const
{
    if (m_answered || m_held.empty())
        return std::nullopt;
    return m_holdUntil;
}

bool SenderClassifier::takeRelookupRequest()
{
    if (!m_strangerSinceLookup || !m_answered)
        return false;
    const TimePoint now = m_clock();
    if (m_lastLookup && now - *m_lastLookup < RelookupInterval)
        return false;
    m_lastLookup = now;
    m_strangerSinceLookup = false;
    return true;
}

bool SenderClassifier::isPartner(const QHostAddress& address, quint16 port) const
{
    if (port != m_partnerPort)
        return false;
    const QHostAddress plain = net::plainAddress(address);
    return m_partnerAddresses.contains(plain) || (m_partnerIsThisMachine && isThisMachine(plain));
}

bool SenderClassifier::isThisMachine(const QHostAddress& plainAddress) const
{
    return plainAddress.isLoopback() || m_ownAddresses.contains(plainAddress);
}

ReceivedLine SenderClassifier::classify(const Arrival& arrival)
{
    ReceivedLine line;
    if (isPartner(arrival.address, arrival.port)) {
        line.fromPartner = true;
        line.displayLine = partnerDisplayLine(arrival.text);
        line.logLine = receivedLogLine(m_partnerName, arrival.ownHost, arrival.text, arrival.dateTime);
        return line;
    }
    const QHostAddress address = net::plainAddress(arrival.address);
    if (!m_partnerAddresses.contains(address))
        m_strangerSinceLookup = true;
    line.source = sourceText(address, arrival.port, m_partnerPort);
    line.displayLine = u"他のPC("_s + line.source + u")>"_s + shownText(arrival.text);
    line.logLine = {line.source, arrival.ownHost, loggedMessage(StrangerPrefix, arrival.text), arrival.dateTime};
    return line;
}

QList<ReceivedLine> SenderClassifier::releaseAll()
{
    QList<ReceivedLine> lines;
    lines.reserve(qsizetype(m_held.size()));
    while (!m_held.empty()) {
        lines.append(classify(m_held.front()));
        m_held.pop_front();
    }
    return lines;
}

} // namespace chat::core
