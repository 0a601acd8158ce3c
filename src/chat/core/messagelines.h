#pragma once

#include "common/logline.h"

#include <QString>

namespace chat::core {

/// Prefix of the own lines in the conversation list.
inline constexpr char16_t OwnPrefix[] = u"貴方>";
/// Prefix of the partner's lines in the conversation list and of a received message in the log.
inline constexpr char16_t PartnerPrefix[] = u"相手>";

/// The most characters of a message a conversation-list line shows; the log keeps the whole text.
inline constexpr qsizetype MaxShownCharacters = 4000;

/**
 * @p text as a conversation-list line shows it: common::visibleText(), cut to at most
 * MaxShownCharacters with "…" as the last of them when it is longer. A flood of the largest
 * datagrams would otherwise keep 64 KiB of text per line in memory for a list nobody reads that far.
 */
QString shownText(const QString& text);

/// The most characters of a message the hidden List2 keeps once a journal holds the whole line.
inline constexpr qsizetype MaxKeptLogCharacters = 1000;

/**
 * @p line as List2 keeps it while a journal holds it whole: the message cut to at most
 * MaxKeptLogCharacters with "…" as the last of them, the other fields as they are. A flood of the
 * largest datagrams would otherwise keep 128 KiB per line in memory until the exit.
 */
common::LogLine keptLogLine(const common::LogLine& line);

/// The conversation-list line for a message this PC sent, with every control character made visible.
QString ownDisplayLine(const QString& text);
/// The conversation-list line for a received message.
QString partnerDisplayLine(const QString& received);

/// The log line of a sent message: own host, partner name, the text, when the send started.
common::LogLine sentLogLine(const QString& ownHost, const QString& partner, const QString& text,
                            const QString& dateTime);
/**
 * A received text as the log stores it, after @p prefix: CR and LF written as "?", as characters
 * without a code page 932 form are. The log format cannot escape, and the chat's one-line box
 * never sends a line break, so a received one could only forge a record boundary; one datagram
 * stays one record.
 */
QString loggedMessage(QStringView prefix, QStringView received);

/// The log line of a received message: partner name, own host, loggedMessage() after "相手>", arrival time.
common::LogLine receivedLogLine(const QString& partner, const QString& ownHost, const QString& received,
                                const QString& dateTime);

} // namespace chat::core
