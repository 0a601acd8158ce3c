// Fuzzes the code page 932 codec: decoding arbitrary bytes (datagrams and log files arrive as
// such), decoding in pieces as the log reader does, and the way back through the encoder.

#include "fuzzcheck.h"

#include "common/cp932codec.h"

#include <QSet>

#include <cstring>

using common::cp932::decode;
using common::cp932::encode;

namespace {

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
    FUZZ_CHECK(encoded.bytes.isEmpty());
    FUZZ_CHECK(!encoded.unrepresentable.isEmpty());
    // The characters reported are exactly those that stop the encoding: without them the rest
    // encodes, and each alone does not.
    QSet<QChar> missing;
    for (const QChar c : encoded.unrepresentable) {
        FUZZ_CHECK(!missing.contains(c));
        FUZZ_CHECK(text.contains(c));
        FUZZ_CHECK(!encode(QStringView(&c, 1)).ok);
        missing.insert(c);
    }
    QString representable;
    for (const QChar c : text) {
        if (!missing.contains(c))
            representable += c;
    }
    const common::cp932::EncodeResult rest = encode(representable);
    FUZZ_CHECK(rest.ok);
    FUZZ_CHECK(decode(rest.bytes) == representable);
}

// The encoder on any UTF-16, lone surrogates included (a user can type or paste anything).
void checkEncode(QByteArrayView bytes)
{
    QString text(bytes.size() / 2, Qt::Uninitialized);
    std::memcpy(text.data(), bytes.data(), static_cast<size_t>(text.size()) * 2);
    const common::cp932::EncodeResult encoded = encode(text);
    if (!encoded.ok) {
        FUZZ_CHECK(encoded.bytes.isEmpty());
        FUZZ_CHECK(!encoded.unrepresentable.isEmpty());
        // Each reported character occurs in the text. A lone high surrogate followed in the list
        // by a lone low one reads as a pair there, so the list is checked unit by unit.
        for (const QChar c : encoded.unrepresentable)
            FUZZ_CHECK(text.contains(c));
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
