#pragma once

#include <QtGlobal>

#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TAVIK_AVX2_SCAN 1
#endif

namespace history::core::bytescan {

/// Whether the processor runs AVX2, which the scans use 32 bytes at a time.
bool hasAvx2();

/// Bit i of a mask stands for the byte at block + i, for 64 bytes.
struct BlockMasks
{
    quint64 quotes = 0; ///< double quotes
    quint64 breaks = 0; ///< CR and LF
    quint64 commas = 0;
};

/**
 * The double quotes, line ends and commas among the 64 bytes at @p block (fewer at the end of the
 * text, @p n bytes in all), one byte at a time. The bytes that structure a log record are never
 * the second byte of a code page 932 character, so they are found without decoding anything.
 */
inline BlockMasks specialMasksByByte(const char* d, qsizetype block, qsizetype n)
{
    BlockMasks masks;
    for (qsizetype i = 0; i < 64 && block + i < n; ++i) {
        const char c = d[block + i];
        if (c == '"')
            masks.quotes |= quint64(1) << i;
        else if (c == '\r' || c == '\n')
            masks.breaks |= quint64(1) << i;
        else if (c == ',')
            masks.commas |= quint64(1) << i;
    }
    return masks;
}

#ifdef TAVIK_AVX2_SCAN
/// The same for a whole block of 64 bytes, 32 at a time; only where hasAvx2().
__attribute__((target("avx2"))) inline BlockMasks specialMasksByAvx2(const char* d, qsizetype block, qsizetype n)
{
    if (block + 64 > n)
        return specialMasksByByte(d, block, n);
    const __m256i quote = _mm256_set1_epi8('"');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i comma = _mm256_set1_epi8(',');
    BlockMasks masks;
    for (int half = 0; half < 64; half += 32) {
        const __m256i chunk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + block + half));
        const auto quotes = quint32(_mm256_movemask_epi8(_mm256_cmpeq_epi8(chunk, quote)));
        const auto breaks =
            quint32(_mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(chunk, cr), _mm256_cmpeq_epi8(chunk, lf))));
        const auto commas = quint32(_mm256_movemask_epi8(_mm256_cmpeq_epi8(chunk, comma)));
        masks.quotes |= quint64(quotes) << half;
        masks.breaks |= quint64(breaks) << half;
        masks.commas |= quint64(commas) << half;
    }
    return masks;
}
#endif

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

} // namespace history::core::bytescan
