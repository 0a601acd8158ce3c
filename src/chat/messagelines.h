#pragma once

#include "common/logline.h"

#include <QString>

namespace chat {

/// Prefix of the own lines in the conversation list.
inline constexpr char16_t OwnPrefix[] = u"貴方>";
/// Prefix of the partner's lines in the conversation list and of a received message in the log.
inline constexpr char16_t PartnerPrefix[] = u"相手>";

/**
 * @p text with every character that would break or reorder a list line made visible: C0
 * controls and DEL as their U+2400 control pictures, C1 controls, line and paragraph separators
 * and bidirectional embeddings, overrides and isolates as a bracketed code such as "<U+202E>".
 * So one datagram is always one readable line, shown as plain text.
 */
QString visibleText(const QString& text);

/// The conversation-list line for a message this PC sent.
QString ownDisplayLine(const QString& text);
/// The conversation-list line for a received message.
QString partnerDisplayLine(const QString& received);

/// The log line of a sent message: own host, partner name, the text, when the send started.
common::LogLine sentLogLine(const QString& ownHost, const QString& partner, const QString& text,
                            const QString& dateTime);
/**
 * A received text as the log stores it: CR and LF written as "?", as characters without a code
 * page 932 form are. The log format cannot escape, and the chat's one-line box never sends a line
 * break, so a received one could only forge a record boundary; one datagram stays one record.
 */
QString loggedText(const QString& received);

/// The log line of a received message: partner name, own host, "相手>" and loggedText(), arrival time.
common::LogLine receivedLogLine(const QString& partner, const QString& ownHost, const QString& received,
                                const QString& dateTime);

} // namespace chat
