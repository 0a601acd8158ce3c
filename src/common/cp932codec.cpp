#include "cp932codec.h"
#include "cp932tables.h"

#include <QSet>

#include <cstring>

namespace common::cp932 {

using namespace detail;

namespace {

constexpr char16_t ReplacementCharacter = 0xFFFD;

/// Bytes are read eight at a time while none has its high bit set.
constexpr quint64 HighBits = 0x8080808080808080ULL;

/// Records @p codePoint once, in order of first appearance.
void noteUnrepresentable(EncodeResult& result, QSet<char32_t>& seen, char32_t codePoint)
{
    if (!seen.contains(codePoint)) {
        seen.insert(codePoint);
        result.unrepresentable.append(codePoint);
    }
}

} // namespace

EncodeResult encode(QStringView text)
{
    const EncodeTable& table = encodeTable();
    EncodeResult result;
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    char* out = bytes.data();
    QSet<char32_t> seen;

    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80 && table.asciiIdentity) {
            *out++ = static_cast<char>(unit);
            continue;
        }
        if (QChar::isSurrogate(unit)) {
            // No character outside the Basic Multilingual Plane has a code page 932 form.
            // A lone surrogate is listed as its own code unit, which no valid code point takes.
            if (QChar::isHighSurrogate(unit) && i + 1 < size && text[i + 1].isLowSurrogate()) {
                noteUnrepresentable(result, seen, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
                ++i;
            } else {
                noteUnrepresentable(result, seen, unit);
            }
            continue;
        }
        const quint16 code = table.code[unit];
        if (code == Unrepresentable) {
            noteUnrepresentable(result, seen, unit);
        } else if (code < 0x100) {
            *out++ = static_cast<char>(code);
        } else {
            *out++ = static_cast<char>(code >> 8);
            *out++ = static_cast<char>(code & 0xFF);
        }
    }

    result.ok = result.unrepresentable.isEmpty();
    if (result.ok) {
        bytes.truncate(out - bytes.constData());
        result.bytes = std::move(bytes);
    }
    return result;
}

QString decode(QByteArrayView bytes)
{
    const DecodeTable& table = decodeTable();
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    if (size == 0)
        return {};

    // Every byte yields at most one code unit, so the text never outgrows the byte count.
    QString text(size, Qt::Uninitialized);
    QChar* const begin = text.data();
    QChar* out = begin;

    qsizetype i = 0;
    while (i < size) {
        if (table.asciiIdentity) {
            while (i + 8 <= size) {
                quint64 word;
                std::memcpy(&word, in + i, sizeof word);
                if (word & HighBits)
                    break;
                for (int k = 0; k < 8; ++k)
                    out[k] = QChar(char16_t{in[i + k]});
                out += 8;
                i += 8;
            }
            while (i < size && in[i] < 0x80)
                *out++ = QChar(char16_t{in[i++]});
            if (i == size)
                break;
        }

        const unsigned char byte = in[i];
        const char16_t single = table.single[byte];
        if (single == InvalidByte) {
            *out++ = QChar(ReplacementCharacter);
            ++i;
        } else if (single != LeadByte) {
            *out++ = QChar(single);
            ++i;
        } else if (i + 1 == size) {
            // A lead byte at the very end is an unfinished character.
            *out++ = QChar(ReplacementCharacter);
            ++i;
        } else {
            const char16_t unit = table.pair[byte << 8 | in[i + 1]];
            if (unit == InvalidLeadOnly) {
                // The second byte is read again: a broken pair must not swallow a line break.
                *out++ = QChar(ReplacementCharacter);
                ++i;
            } else if (unit == InvalidPair) {
                *out++ = QChar(ReplacementCharacter);
                i += 2;
            } else {
                *out++ = QChar(unit);
                i += 2;
            }
        }
    }

    text.truncate(out - begin);
    return text;
}

} // namespace common::cp932
