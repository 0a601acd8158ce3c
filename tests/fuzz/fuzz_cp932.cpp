// Fuzzes the code page 932 codec: decoding arbitrary bytes (datagrams and log files arrive as
// such), decoding in pieces as the log reader does, and the way back through the encoder.

#include "fuzzcheck.h"

#include "common/cp932codec.h"

#include <QList>
#include <QSet>

#include <cstring>

using common::cp932::decode;
using common::cp932::encode;

namespace {

/// The code points of @p text as typed: a surrogate pair is one, a lone surrogate one of its own.
QList<char32_t> codePointsOf(QStringView text)
{
    QList<char32_t> codePoints;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            codePoints.append(QChar::surrogateToUcs4(text[i], text[i + 1]));
            ++i;
        } else {
            codePoints.append(text[i].unicode());
        }
    }
    return codePoints;
}

/// @p codePoint as text; a lone surrogate stays one code unit.
QString textOf(char32_t codePoint)
{
    return QChar::requiresSurrogates(codePoint) ? QString::fromUcs4(&codePoint, 1)
                                                : QString(QChar(char16_t(codePoint)));
}

/**
 * A failed encoding lists exactly the code points of @p text as typed that have no code page 932
 * form, each once and in order of first appearance, and the rest of the text encodes.
 * @return the text without the listed code points
 */
QString checkUnrepresentable(QStringView text, const common::cp932::EncodeResult& encoded)
{
    FUZZ_CHECK(encoded.bytes.isEmpty());
    FUZZ_CHECK(!encoded.unrepresentable.isEmpty());
    QList<char32_t> expected;
    QSet<char32_t> seen;
    QString representable;
    for (const char32_t c : codePointsOf(text)) {
        const QString alone = textOf(c);
        if (encode(alone).ok) {
            representable += alone;
        } else if (!seen.contains(c)) {
            seen.insert(c);
            expected.append(c);
        }
    }
    FUZZ_CHECK(encoded.unrepresentable == expected);
    FUZZ_CHECK(encode(representable).ok);
    return representable;
}

void checkDecode(QByteArrayView bytes)
{
    const QString text = decode(bytes);
    // Every byte yields at most one code unit, and something comes of every input.
    FUZZ_CHECK(text.size() <= bytes.size());
    FUZZ_CHECK(text.isEmpty() == bytes.isEmpty());
    for (const QChar c : text)
        FUZZ_CHECK(!c.isSurrogate());

    // The log reader cuts a file at double quotes, commas and line breaks (all below 0x40) and
    // decodes the pieces apart. Such a byte always stands for itself, so a cut right before or
    // right after it must not change the text. Cut around the first and the last one.
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) < 0x40) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first >= 0) {
        for (const qsizetype cut : {first, first + 1, last, last + 1})
            FUZZ_CHECK(decode(bytes.first(cut)) + decode(bytes.sliced(cut)) == text);
        FUZZ_CHECK(decode(bytes.first(first)) + decode(bytes.sliced(first, last + 1 - first)) +
                       decode(bytes.sliced(last + 1)) ==
                   text);
    }

    // Back to bytes: a decoded text is stored again (the log) and must read back the same.
    const common::cp932::EncodeResult encoded = encode(text);
    if (encoded.ok) {
        FUZZ_CHECK(decode(encoded.bytes) == text);
        return;
    }
    // What is left of a decoded text is stored and read back unchanged.
    const QString representable = checkUnrepresentable(text, encoded);
    FUZZ_CHECK(decode(encode(representable).bytes) == representable);
}

// The encoder on any UTF-16, lone surrogates included (a user can type or paste anything).
void checkEncode(QByteArrayView bytes)
{
    QString text(bytes.size() / 2, Qt::Uninitialized);
    std::memcpy(text.data(), bytes.data(), static_cast<size_t>(text.size()) * 2);
    const common::cp932::EncodeResult encoded = encode(text);
    if (!encoded.ok) {
        // Lone surrogates included: one listed as typed never turns into a pair with another.
        checkUnrepresentable(text, encoded);
        return;
    }
    FUZZ_CHECK(encoded.bytes.size() <= 2 * text.size());
    // Best-fit mappings may change a character once; after that the text is stable.
    const QString once = decode(encoded.bytes);
    FUZZ_CHECK(once.size() == text.size());
    const common::cp932::EncodeResult again = encode(once);
    FUZZ_CHECK(again.ok);
    FUZZ_CHECK(decode(again.bytes) == once);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes = fuzz::bytesOf(data, size);
    checkDecode(bytes);
    checkEncode(bytes);
    return 0;
}
