#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace net::notification {

/// The notification service's wire format; every integer is big-endian.
/// The TCP port the service listens on and its clients connect to.
inline constexpr quint16 DefaultPort = 31001;

inline constexpr char Magic[4] = {'T', 'V', 'K', 'M'};
inline constexpr quint8 Version = 1;
inline constexpr quint8 TypeMessage = 1;
inline constexpr quint8 TypeStatus = 2;
inline constexpr int RequestHeaderSize = 14; ///< magic, version, type, S (2), R (2), T (4)
inline constexpr int ReplySize = 10;         ///< magic, version, type, status (4)
inline constexpr int MaxNameBytes = 255;
inline constexpr int MaxTextBytes = 4096;

inline constexpr quint32 StatusShown = 0;
inline constexpr quint32 StatusMalformed = 87;
inline constexpr quint32 StatusNoDisplay = 50;
inline constexpr quint32 StatusRefused = 2136;

/// One notification request.
struct Request
{
    QString sender;    ///< the sending computer's host name
    QString recipient; ///< the recipient name as the sender typed it
    QString text;
};

/// Builds a request frame. Fails (std::nullopt) when a field exceeds its byte limit in UTF-8.
std::optional<QByteArray> encodeRequest(const Request& request);

/// Builds a status reply frame.
QByteArray encodeReply(quint32 status);

/// Reading a request from a stream of bytes, as they arrive.
struct RequestParse
{
    enum class Outcome {
        NeedMore,  ///< a valid prefix; wait for more bytes
        Complete,  ///< request holds the frame; consumed bytes were used
        Malformed, ///< the right format, but oversized or invalid fields: answer 87
        Foreign,   ///< not this format at all: drop the connection without a reply
    };
    Outcome outcome = Outcome::NeedMore;
    Request request;
    qsizetype consumed = 0;
};

/// Parses the start of @p bytes as a request frame.
RequestParse parseRequest(QByteArrayView bytes);

/// Parses a reply frame; std::nullopt when @p bytes is not a complete, valid reply.
std::optional<quint32> parseReply(QByteArrayView bytes);

} // namespace net::notification
