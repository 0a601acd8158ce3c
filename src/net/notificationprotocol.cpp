#include "notificationprotocol.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>

// How a stream of bytes is judged, in the order the bytes arrive:
//  - Foreign: any of the first four bytes differs from "TVKM". The peer does not speak this protocol
//    at all (a port scanner, a web browser, a stray client), so it gets no reply; the connection is
//    just closed. This is decided on the first differing byte, without waiting for the rest.
//  - Malformed (answered 87): the magic is right but the version is not 1, the type is not 1 (a status
//    reply sent to the service counts as malformed too), S or R exceeds 255, T exceeds 4096, or a field
//    is not valid UTF-8 (overlong forms, surrogates, truncated sequences). The version and type are
//    judged as soon as their byte is in, the lengths as soon as the 14-byte header is in: an oversized
//    frame is rejected before any of its body is read. UTF-8 is judged when the whole frame is in.
//  - NeedMore: everything seen so far is a valid prefix.
// Empty fields are valid: the service shows the sender's address when the name is empty.

namespace net::notification {

namespace {

void appendU16(QByteArray& out, quint16 value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xff));
}

void appendU32(QByteArray& out, quint32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xff));
}

quint32 readBigEndian(QByteArrayView bytes, qsizetype offset, int width)
{
    quint32 value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | quint8(bytes[offset + i]);
    return value;
}

std::optional<QString> decodeUtf8(QByteArrayView bytes)
{
    // Stateless: a sequence cut off at the field's end is an error, not something to wait for.
    // ConvertInitialBom: a leading U+FEFF is part of the text and is kept.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

RequestParse outcome(RequestParse::Outcome value)
{
    RequestParse parse;
    parse.outcome = value;
    return parse;
}

} // namespace

std::optional<QByteArray> encodeRequest(const Request& request)
{
    const QByteArray sender = request.sender.toUtf8();
    const QByteArray recipient = request.recipient.toUtf8();
    const QByteArray text = request.text.toUtf8();
    if (sender.size() > MaxNameBytes || recipient.size() > MaxNameBytes || text.size() > MaxTextBytes)
        return std::nullopt;

    QByteArray frame;
    frame.reserve(RequestHeaderSize + sender.size() + recipient.size() + text.size());
    frame.append(Magic, sizeof Magic);
    frame.append(char(Version));
    frame.append(char(TypeMessage));
    appendU16(frame, quint16(sender.size()));
    appendU16(frame, quint16(recipient.size()));
    appendU32(frame, quint32(text.size()));
    frame.append(sender).append(recipient).append(text);
    return frame;
}

QByteArray encodeReply(quint32 status)
{
    QByteArray frame;
    frame.reserve(ReplySize);
    frame.append(Magic, sizeof Magic);
    frame.append(char(Version));
    frame.append(char(TypeStatus));
    appendU32(frame, status);
    return frame;
}

RequestParse parseRequest(QByteArrayView bytes)
{
    using Outcome = RequestParse::Outcome;
    constexpr qsizetype magicSize = sizeof Magic;

    if (bytes.isEmpty())
        return outcome(Outcome::NeedMore);
    const qsizetype magicSeen = std::min(bytes.size(), magicSize);
    if (std::memcmp(bytes.data(), Magic, size_t(magicSeen)) != 0)
        return outcome(Outcome::Foreign);
    if (bytes.size() > 4 && quint8(bytes[4]) != Version)
        return outcome(Outcome::Malformed);
    if (bytes.size() > 5 && quint8(bytes[5]) != TypeMessage)
        return outcome(Outcome::Malformed);
    if (bytes.size() < RequestHeaderSize)
        return outcome(Outcome::NeedMore);

    const quint32 senderSize = readBigEndian(bytes, 6, 2);
    const quint32 recipientSize = readBigEndian(bytes, 8, 2);
    const quint32 textSize = readBigEndian(bytes, 10, 4);
    if (senderSize > MaxNameBytes || recipientSize > MaxNameBytes || textSize > MaxTextBytes)
        return outcome(Outcome::Malformed);

    const qsizetype frameSize = RequestHeaderSize + senderSize + recipientSize + textSize;
    if (bytes.size() < frameSize)
        return outcome(Outcome::NeedMore);

    qsizetype offset = RequestHeaderSize;
    const auto sender = decodeUtf8(bytes.sliced(offset, senderSize));
    offset += senderSize;
    const auto recipient = decodeUtf8(bytes.sliced(offset, recipientSize));
    offset += recipientSize;
    const auto text = decodeUtf8(bytes.sliced(offset, textSize));
    if (!sender || !recipient || !text)
        return outcome(Outcome::Malformed);

    RequestParse parse = outcome(Outcome::Complete);
    parse.request = Request{*sender, *recipient, *text};
    parse.consumed = frameSize;
    return parse;
}

std::optional<quint32> parseReply(QByteArrayView bytes)
{
    if (bytes.size() != ReplySize)
        return std::nullopt;
    if (std::memcmp(bytes.data(), Magic, sizeof Magic) != 0)
        return std::nullopt;
    if (quint8(bytes[4]) != Version || quint8(bytes[5]) != TypeStatus)
        return std::nullopt;
    return readBigEndian(bytes, 6, 4);
}

} // namespace net::notification
