#pragma once

#include <QtGlobal>

#include <bit>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace history::bytescan {

/// Bit i of a mask stands for the byte at block + i, for 64 bytes.
struct BlockMasks
{
    quint64 quotes = 0; ///< double quotes
    quint64 breaks = 0; ///< CR and LF
};

/**
 * The double quotes and line ends among the 64 bytes at @p block (fewer at the end of the text,
 * @p n bytes in all). The bytes that structure a log record are never the second byte of a code
 * page 932 character, so they are found without decoding anything.
 */
inline BlockMasks specialMasks(const char* d, qsizetype block, qsizetype n)
{
    BlockMasks masks;
    qsizetype i = 0;
#ifdef __SSE2__
    if (block + 64 <= n) {
        const __m128i quote = _mm_set1_epi8('"');
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i lf = _mm_set1_epi8('\n');
        for (; i < 64; i += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + block + i));
            const auto q = static_cast<quint64>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, quote))));
            const auto b = static_cast<quint64>(static_cast<unsigned>(
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf)))));
            masks.quotes |= q << i;
            masks.breaks |= b << i;
        }
        return masks;
    }
#endif
    for (; i < 64 && block + i < n; ++i) {
        const char c = d[block + i];
        if (c == '"')
            masks.quotes |= quint64(1) << i;
        else if (c == '\r' || c == '\n')
            masks.breaks |= quint64(1) << i;
    }
    return masks;
}

/// The first of the bytes '"', CR and LF at or after @p i, or @p n.
inline qsizetype nextSpecial(const char* d, qsizetype i, qsizetype n)
{
#ifdef __SSE2__
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(chunk, quote),
                                          _mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf)));
        const int mask = _mm_movemask_epi8(hits);
        if (mask != 0)
            return i + std::countr_zero(static_cast<unsigned>(mask));
    }
#endif
    for (; i < n; ++i) {
        if (d[i] == '"' || d[i] == '\r' || d[i] == '\n')
            return i;
    }
    return n;
}

} // namespace history::bytescan
