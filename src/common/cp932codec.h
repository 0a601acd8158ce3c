#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

namespace common::cp932 {

/// What encoding a text to code page 932 gave.
struct EncodeResult
{
    QByteArray bytes; ///< the encoded text; empty when ok is false
    /// Code points with no code page 932 form, each once, in order of first appearance. A surrogate
    /// pair of the text is one entry; a lone surrogate is an entry of its own (0xD800-0xDFFF), so
    /// two lone ones never read as the pair they are not.
    QList<char32_t> unrepresentable;
    bool ok = false; ///< true when every character was encoded
};

/**
 * Encodes @p text to code page 932 (Microsoft's table with the NEC and IBM extensions and the
 * best-fit mappings, e.g. U+301C to 81 60). Never substitutes a "?" for a character it cannot
 * encode: such characters make the result fail and are listed in EncodeResult::unrepresentable.
 */
EncodeResult encode(QStringView text);

/**
 * Appends @p text encoded to code page 932 to @p bytes, each character without a code page 932
 * form written as one "?" (a surrogate pair is one character), as the system's own conversion
 * writes it. For files that must hold whatever text they are given, such as a received line with
 * U+FFFD for the bytes that were not code page 932.
 */
void appendLossy(QByteArray& bytes, QStringView text);

/**
 * Decodes code page 932 bytes. Each invalid or truncated byte sequence becomes one U+FFFD;
 * the control bytes 0x00-0x1F and 0x7F map to the same code points.
 */
QString decode(QByteArrayView bytes);

} // namespace common::cp932
