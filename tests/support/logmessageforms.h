#pragma once

#include <QString>

namespace testsupport {

/**
 * Whether @p message holds a double quote that only spaces separate from a line break. Log
 * records are not escaped, so only such a message can look like the end of its record when the
 * log is read back; round-trip checks leave it to the cases written for it.
 */
inline bool quoteBeforeBreak(const QString& message)
{
    for (qsizetype i = 0; i < message.size(); ++i) {
        if (message[i] != u'"')
            continue;
        qsizetype j = i + 1;
        while (j < message.size() && message[j] == u' ')
            ++j;
        if (j < message.size() && (message[j] == u'\r' || message[j] == u'\n'))
            return true;
    }
    return false;
}

} // namespace testsupport
