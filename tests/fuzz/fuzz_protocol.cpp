// Fuzzes the notification service's wire format: request frames arriving in any pieces, status
// replies, and requests built by the client and parsed by the service.

#include "fuzzcheck.h"

#include "net/notificationprotocol.h"

#include <QList>

using net::notification::RequestParse;
using Outcome = net::notification::RequestParse::Outcome;

namespace {

bool sameParse(const RequestParse& a, const RequestParse& b)
{
    return a.outcome == b.outcome && a.consumed == b.consumed && a.request.sender == b.request.sender &&
           a.request.recipient == b.request.recipient && a.request.text == b.request.text;
}

// The service appends what arrives to its buffer and parses it again from the start, so a frame
// cut into pieces is seen as a row of growing prefixes. Each prefix must be a valid beginning
// (NeedMore) until the first one that decides, and every longer prefix must decide the same.
void checkRequestStream(QByteArrayView bytes)
{
    const qsizetype limit =
        net::notification::RequestHeaderSize + 2 * net::notification::MaxNameBytes + net::notification::MaxTextBytes;
    for (qsizetype k = 0; k <= bytes.size(); ++k) {
        const RequestParse parse = net::notification::parseRequest(bytes.first(k));
        if (parse.outcome == Outcome::NeedMore) {
            // No frame is longer than the largest valid one: the service never waits beyond it.
            FUZZ_CHECK(k < limit);
            FUZZ_CHECK(parse.consumed == 0);
            continue;
        }
        if (parse.outcome == Outcome::Complete) {
            // Exactly the frame was used, and it is the frame the client builds for this request.
            FUZZ_CHECK(parse.consumed == k);
            const auto frame = net::notification::encodeRequest(parse.request);
            FUZZ_CHECK(frame.has_value());
            FUZZ_CHECK(*frame == bytes.first(k));
        } else {
            FUZZ_CHECK(parse.consumed == 0);
        }
        if (parse.outcome != Outcome::Foreign)
            FUZZ_CHECK(k >= 4 && bytes.first(4) == QByteArrayView(net::notification::Magic, 4));
        // Longer prefixes decide the same; the next one and the whole input stand for them all
        // (parsing every one would decode the frame again each time).
        if (k < bytes.size())
            FUZZ_CHECK(sameParse(net::notification::parseRequest(bytes.first(k + 1)), parse));
        FUZZ_CHECK(sameParse(net::notification::parseRequest(bytes), parse));
        return;
    }
}

void checkReply(QByteArrayView bytes)
{
    if (const auto status = net::notification::parseReply(bytes))
        FUZZ_CHECK(net::notification::encodeReply(*status) == bytes);
    if (bytes.size() >= 4) {
        const quint32 status = quint32(quint8(bytes[0])) << 24 | quint32(quint8(bytes[1])) << 16 |
                               quint32(quint8(bytes[2])) << 8 | quint32(quint8(bytes[3]));
        const auto parsed = net::notification::parseReply(net::notification::encodeReply(status));
        FUZZ_CHECK(parsed && *parsed == status);
    }
}

// A request the client builds from any texts parses back to the same texts, also with more bytes
// behind it; a request it refuses has a field over its limit.
void checkClientRequest(QByteArrayView bytes)
{
    QList<QByteArray> parts = bytes.toByteArray().split('\0');
    while (parts.size() < 3)
        parts.append(QByteArray());
    const net::notification::Request request{QString::fromUtf8(parts[0]), QString::fromUtf8(parts[1]),
                                             QString::fromUtf8(parts[2])};
    const auto frame = net::notification::encodeRequest(request);
    if (!frame) {
        FUZZ_CHECK(request.sender.toUtf8().size() > net::notification::MaxNameBytes ||
                   request.recipient.toUtf8().size() > net::notification::MaxNameBytes ||
                   request.text.toUtf8().size() > net::notification::MaxTextBytes);
        return;
    }
    for (const QByteArray& stream : {*frame, QByteArray(*frame + bytes.toByteArray())}) {
        const RequestParse parse = net::notification::parseRequest(stream);
        FUZZ_CHECK(parse.outcome == Outcome::Complete);
        FUZZ_CHECK(parse.consumed == frame->size());
        FUZZ_CHECK(parse.request.sender == request.sender);
        FUZZ_CHECK(parse.request.recipient == request.recipient);
        FUZZ_CHECK(parse.request.text == request.text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes = fuzz::bytesOf(data, size);
    checkRequestStream(bytes);
    checkReply(bytes);
    checkClientRequest(bytes);
    return 0;
}
