#include "popupchannel.h"

#include <QDataStream>

#include <algorithm>
#include <cstring>

namespace messenger::service::popupchannel {

namespace {

// Fixed, so that a service and a pop-up process built with different Qt versions still agree.
constexpr QDataStream::Version StreamVersion = QDataStream::Qt_6_4;

// How the arrival time is given.
enum class TimeKind : quint8 { None = 0, Local = 1, Offset = 2 };

NotificationParse broken()
{
    NotificationParse parse;
    parse.outcome = NotificationParse::Outcome::Broken;
    return parse;
}

// QDataStream allocates a string's whole declared length before it reads any of it, so a length
// that the payload cannot hold is refused here first.
bool readString(QDataStream& in, QString& string)
{
    quint32 bytes = 0;
    in >> bytes;
    if (in.status() != QDataStream::Ok)
        return false;
    if (bytes != 0xffffffffu && (bytes % 2 != 0 || qint64(bytes) > in.device()->bytesAvailable()))
        return false;
    if (!in.device()->seek(in.device()->pos() - qint64(sizeof bytes)))
        return false;
    in >> string;
    return in.status() == QDataStream::Ok;
}

} // namespace

QByteArray encodeNotification(const Notification& notification)
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(StreamVersion);
        // The address and the time as plain values, so that reading them back allocates nothing
        // a length in the frame could blow up.
        const QDateTime& arrival = notification.arrival;
        const TimeKind kind = !arrival.isValid()                    ? TimeKind::None
                              : arrival.timeSpec() == Qt::LocalTime ? TimeKind::Local
                                                                    : TimeKind::Offset;
        out << notification.sender << notification.senderAddress.toString() << notification.recipient
            << notification.text << quint8(kind) << qint64(arrival.isValid() ? arrival.toMSecsSinceEpoch() : 0)
            << qint32(arrival.isValid() ? arrival.offsetFromUtc() : 0);
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
    QString address;
    if (!readString(in, n.sender) || !readString(in, address) || !readString(in, n.recipient) ||
        !readString(in, n.text))
        return broken();
    quint8 kind = 0;
    qint64 msecs = 0;
    qint32 offset = 0;
    in >> kind >> msecs >> offset;
    // Every field read in full, and nothing left over: a payload of another layout is not taken
    // for this one.
    if (in.status() != QDataStream::Ok || !in.atEnd() || kind > quint8(TimeKind::Offset))
        return broken();
    if (!address.isEmpty() && !n.senderAddress.setAddress(address))
        return broken();
    if (TimeKind(kind) == TimeKind::Local)
        n.arrival = QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime);
    else if (TimeKind(kind) == TimeKind::Offset)
        n.arrival = QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, offset);
    parse.outcome = NotificationParse::Outcome::Complete;
    parse.consumed = HeaderSize + qsizetype(size);
    return parse;
}

} // namespace messenger::service::popupchannel
