#include "popupchannel.h"

#include <QDataStream>

#include <algorithm>
#include <cstring>

namespace messenger::popupchannel {

namespace {

// Fixed, so that a service and a pop-up process built with different Qt versions still agree.
constexpr QDataStream::Version StreamVersion = QDataStream::Qt_6_4;

NotificationParse broken()
{
    NotificationParse parse;
    parse.outcome = NotificationParse::Outcome::Broken;
    return parse;
}

} // namespace

QByteArray encodeNotification(const Notification& notification)
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(StreamVersion);
        out << notification.sender << notification.senderAddress << notification.recipient << notification.text
            << notification.arrival;
    }
    QByteArray frame(Magic, sizeof Magic);
    frame.append(char(Version));
    const auto size = quint32(payload.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        frame.append(char((size >> shift) & 0xff));
    return frame + payload;
}

NotificationParse parseNotification(QByteArrayView bytes)
{
    // The magic and version are judged on each byte as it arrives, the length as soon as the header
    // is in, so a foreign or oversized frame is refused before more of it is waited for.
    const qsizetype known = std::min<qsizetype>(bytes.size(), sizeof Magic);
    if (known > 0 && std::memcmp(bytes.data(), Magic, size_t(known)) != 0)
        return broken();
    if (bytes.size() > qsizetype(sizeof Magic) && quint8(bytes[sizeof Magic]) != Version)
        return broken();
    if (bytes.size() < HeaderSize)
        return {};
    quint32 size = 0;
    for (int i = 5; i < HeaderSize; ++i)
        size = (size << 8) | quint8(bytes[i]);
    if (size > MaxPayload)
        return broken();
    if (bytes.size() < HeaderSize + qsizetype(size))
        return {};

    const QByteArray payload = bytes.sliced(HeaderSize, size).toByteArray();
    QDataStream in(payload);
    in.setVersion(StreamVersion);
    NotificationParse parse;
    Notification& n = parse.notification;
    in >> n.sender >> n.senderAddress >> n.recipient >> n.text >> n.arrival;
    // Every field read in full, and nothing left over: a payload of another layout is not taken
    // for this one.
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return broken();
    parse.outcome = NotificationParse::Outcome::Complete;
    parse.consumed = HeaderSize + qsizetype(size);
    return parse;
}

} // namespace messenger::popupchannel
