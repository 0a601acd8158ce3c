#include "cp932codec.h"
#include "cp932tables.h"

#include <QSet>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace common::cp932 {

using namespace detail;

namespace {

constexpr char16_t ReplacementCharacter = 0xFFFD;

/// Widens the bytes below 0x80 at the start of @p in (at most @p size) into @p out, sixteen at a
/// time where the processor allows: most text on the wire and in the logs is runs of ASCII.
/// @return how many bytes it widened.
qsizetype widenAscii(const unsigned char* in, qsizetype size, char16_t* out)
{
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(chunk) != 0)
            break; // the bytes before the high one are widened below
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(chunk, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(chunk, zero));
    }
#endif
    for (; i < size && in[i] < 0x80; ++i)
        out[i] = in[i];
    return i;
}

/// The reverse: narrows the code units below 0x80 at the start of @p in into @p out.
/// @return how many code units it narrowed.
qsizetype narrowAscii(const char16_t* in, qsizetype size, char* out)
{
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i nonAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8));
        const __m128i beyond = _mm_and_si128(_mm_or_si128(low, high), nonAscii);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(beyond, zero)) != 0xFFFF)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(low, high));
    }
#endif
    for (; i < size && in[i] < 0x80; ++i)
        out[i] = static_cast<char>(in[i]);
    return i;
}

/**
 * Encodes @p text into @p out, which has room for two bytes per code unit. A code point without a
 * code page 932 form (a surrogate pair is one, a lone surrogate stands for itself) is handed to
 * @p unrepresentable, which may write into the room it took and returns where writing goes on.
 * @return the end of what was written.
 */
template<typename OnUnrepresentable> char* encodeInto(QStringView text, char* out, OnUnrepresentable&& unrepresentable)
{
    const EncodeTable& table = encodeTable();
    const char16_t* in = text.utf16();
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        if (in[i] < 0x80 && table.asciiIdentity) {
            const qsizetype run = narrowAscii(in + i, size - i, out);
            i += run;
            out += run;
            if (i == size)
                break;
        }
        const char16_t unit = in[i];
        if (QChar::isSurrogate(unit)) {
            // No character outside the Basic Multilingual Plane has a code page 932 form.
            if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(in[i + 1])) {
                out = unrepresentable(out, QChar::surrogateToUcs4(unit, in[i + 1]));
                i += 2;
            } else {
                out = unrepresentable(out, unit);
                ++i;
            }
            continue;
        }
        const quint16 code = table.code[unit];
        if (code == Unrepresentable) {
            out = unrepresentable(out, unit);
        } else {
            // Both bytes are stored and the end moves by one or two, without a branch that
            // Japanese text, a mix of one- and two-byte characters, would mispredict. The second
            // byte of a one-byte character lies within this code unit's room of two bytes.
            const bool twoBytes = code >= 0x100;
            out[0] = static_cast<char>(twoBytes ? code >> 8 : code);
            out[1] = static_cast<char>(code & 0xFF);
            out += 1 + int(twoBytes);
        }
        ++i;
    }
    return out;
}

} // namespace

EncodeResult encode(QStringView text)
{
    EncodeResult result;
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    QSet<char32_t> seen;
    char* const end = encodeInto(text, bytes.data(), [&](char* out, char32_t codePoint) {
        // Each once, in order of first appearance; a lone surrogate is listed as its own code
        // unit, which no valid code point takes.
        if (!seen.contains(codePoint)) {
            seen.insert(codePoint);
            result.unrepresentable.append(codePoint);
        }
        return out;
    });
    result.ok = result.unrepresentable.isEmpty();
    if (result.ok) {
        bytes.truncate(end - bytes.constData());
        result.bytes = std::move(bytes);
    }
    return result;
}

void appendLossy(QByteArray& bytes, QStringView text)
{
    const qsizetype start = bytes.size();
    bytes.resize(start + text.size() * 2);
    char* const end = encodeInto(text, bytes.data() + start, [](char* out, char32_t) {
        *out++ = '?';
        return out;
    });
    bytes.truncate(end - bytes.constData());
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
    char16_t* const begin = reinterpret_cast<char16_t*>(text.data());
    char16_t* out = begin;

    qsizetype i = 0;
    while (i < size) {
        if (in[i] < 0x80 && table.asciiIdentity) {
            const qsizetype run = widenAscii(in + i, size - i, out);
            i += run;
            out += run;
            if (i == size)
                break;
        }

        // One character of one or two bytes; a byte that starts none becomes U+FFFD.
        const unsigned char byte = in[i];
        const char16_t single = table.single[byte];
        char16_t unit;
        int step;
        if (single != LeadByte) {
            unit = single == InvalidByte ? ReplacementCharacter : single;
            step = 1;
        } else if (i + 1 == size) {
            // A lead byte at the very end is an unfinished character.
            unit = ReplacementCharacter;
            step = 1;
        } else {
            const char16_t pair = table.pair[byte << 8 | in[i + 1]];
            unit = pair == InvalidLeadOnly || pair == InvalidPair ? ReplacementCharacter : pair;
            // After an invalid lead byte the second byte is read again: a broken pair must not
            // swallow a line break.
            step = pair == InvalidLeadOnly ? 1 : 2;
        }
        *out++ = unit;
        i += step;
    }

    text.truncate(out - begin);
    return text;
}

} // namespace common::cp932
