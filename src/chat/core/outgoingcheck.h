#pragma once

#include <QString>

namespace chat::core {

/// What the checks before a send decided about a text.
struct OutgoingCheck
{
    /// Why the text is refused, as the message box shows it; empty when the text may be sent.
    QString refusal;

    bool accepted() const { return refusal.isEmpty(); }
};

/**
 * Checks a message before it is sent, in this order: empty; longer than the 32,767 characters
 * the comma search accepts; a comma; a double quote (a comma wins when both occur, as the log
 * format cannot hold either); characters without a code page 932 form; a code page 932 form
 * larger than one datagram. A refused text must not be sent at all.
 */
OutgoingCheck checkOutgoing(const QString& text);

} // namespace chat::core
