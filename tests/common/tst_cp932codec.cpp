#include "common/cp932codec.h"

#include <QList>
#include <QRandomGenerator>
#include <QTest>

#include <cerrno>
#include <iconv.h>
#include <optional>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr char16_t Replacement = 0xFFFD;

/// glibc's own converter, the reference the codec must agree with.
class Iconv final
{
public:
    Iconv(const char* to, const char* from)
        : m_handle(iconv_open(to, from))
    {}
    ~Iconv()
    {
        if (isOpen())
            iconv_close(m_handle);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool isOpen() const { return m_handle != reinterpret_cast<iconv_t>(-1); }

    /// The converted bytes, or nothing when iconv stopped before the end of the input.
    std::optional<QByteArray> convert(QByteArrayView input)
    {
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        QByteArray output(input.size() * 4 + 16, Qt::Uninitialized);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = size_t(input.size());
        char* out = output.data();
        size_t outLeft = size_t(output.size());
        // With //IGNORE glibc reports skipped input as an error part-way through; go on while it progresses.
        while (inLeft > 0) {
            const size_t before = inLeft;
            if (iconv(m_handle, &in, &inLeft, &out, &outLeft) != size_t(-1))
                break;
            if (errno != EILSEQ || inLeft == before)
                break;
        }
        output.truncate(out - output.constData());
        if (inLeft != 0)
            return std::nullopt;
        return output;
    }

private:
    iconv_t m_handle;
};

QByteArray utf16le(QStringView text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes += char(c.unicode() & 0xFF);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

QString fromUtf16le(const QByteArray& bytes)
{
    QString text;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text += QChar(char16_t(uchar(bytes[i]) | uchar(bytes[i + 1]) << 8));
    return text;
}

QString removeReplacements(QString text)
{
    return text.remove(QChar(Replacement));
}

} // namespace

class TestCp932Codec final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void concurrentFirstUse();
    void vectors_data();
    void vectors();
    void invalidSequences_data();
    void invalidSequences();
    void unrepresentable_data();
    void unrepresentable();
    void decodeAgreesWithIconvOnEveryPair();
    void decodeAgreesWithIconvOnRandomBytes();
    void encodeAgreesWithIconvOnEveryCodePoint();
    void roundTripOfRandomText();

private:
    std::optional<QString> iconvDecode(QByteArrayView bytes);
    QString iconvDecodeSkipping(QByteArrayView bytes);
    std::optional<QByteArray> iconvEncode(QStringView text);
    void checkDecodeAgainstIconv(const QByteArray& bytes);

    Iconv m_decoder{"UTF-16LE", "CP932"};
    Iconv m_skippingDecoder{"UTF-16LE//IGNORE", "CP932"};
    Iconv m_encoder{"CP932", "UTF-16LE"};
    QList<QChar> m_decodable; ///< every character some byte sequence decodes to
};

std::optional<QString> TestCp932Codec::iconvDecode(QByteArrayView bytes)
{
    const std::optional<QByteArray> out = m_decoder.convert(bytes);
    if (!out)
        return std::nullopt;
    return fromUtf16le(*out);
}

QString TestCp932Codec::iconvDecodeSkipping(QByteArrayView bytes)
{
    // A lead byte at the end is left unconverted; what came before it is all there is to compare.
    QByteArray input = bytes.toByteArray();
    for (;;) {
        if (const std::optional<QByteArray> out = m_skippingDecoder.convert(input))
            return fromUtf16le(*out);
        input.chop(1);
    }
}

std::optional<QByteArray> TestCp932Codec::iconvEncode(QStringView text)
{
    return m_encoder.convert(utf16le(text));
}

/// The codec marks exactly what iconv rejects, and otherwise reads the same characters.
void TestCp932Codec::checkDecodeAgainstIconv(const QByteArray& bytes)
{
    const QString decoded = common::cp932::decode(bytes);
    const std::optional<QString> strict = iconvDecode(bytes);
    if (strict) {
        if (decoded != *strict)
            QFAIL(qPrintable(u"decode of %1 differs from iconv"_s.arg(QString::fromLatin1(bytes.toHex(' ')))));
    } else if (!decoded.contains(QChar(Replacement))) {
        QFAIL(qPrintable(u"iconv rejects %1, the codec does not"_s.arg(QString::fromLatin1(bytes.toHex(' ')))));
    }
    if (removeReplacements(decoded) != iconvDecodeSkipping(bytes))
        QFAIL(
            qPrintable(u"decode of %1 keeps other characters than iconv"_s.arg(QString::fromLatin1(bytes.toHex(' ')))));
}

void TestCp932Codec::initTestCase()
{
    QVERIFY2(m_decoder.isOpen() && m_skippingDecoder.isOpen() && m_encoder.isOpen(),
             "glibc's CP932 converter is missing (package libc6)");
}

void TestCp932Codec::concurrentFirstUse()
{
    // The tables are built on first use; several threads may get there at the same moment.
    const QByteArray bytes = QByteArray::fromHex("8160 8740 fa40 41 b7");
    const QString text = u"～①ⅰAｷ"_s;
    constexpr int Threads = 8;
    std::vector<QString> decoded(Threads);
    std::vector<QByteArray> encoded(Threads);
    std::vector<std::thread> threads;
    for (int i = 0; i < Threads; ++i) {
        threads.emplace_back([&, i] {
            decoded[size_t(i)] = common::cp932::decode(bytes);
            encoded[size_t(i)] = common::cp932::encode(text).bytes;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < Threads; ++i) {
        QCOMPARE(decoded[size_t(i)], text);
        QCOMPARE(encoded[size_t(i)], bytes);
    }
}

enum Direction { Both, EncodeOnly, DecodeOnly };

void TestCp932Codec::vectors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("direction");

    const auto row = [](const char* name, const QString& text, const char* hex, Direction direction = Both) {
        QTest::newRow(name) << text << QByteArray::fromHex(hex) << int(direction);
    };
    // Where Microsoft's table differs from plain Shift_JIS.
    row("fullwidth tilde", u"～"_s, "8160");
    row("parallel to", u"∥"_s, "8161");
    row("fullwidth hyphen-minus", u"－"_s, "817c");
    row("fullwidth not sign", u"￢"_s, "81ca");
    row("horizontal bar", u"―"_s, "815c");
    row("NEC circled digit one", u"①"_s, "8740");
    row("IBM small roman numeral one", u"ⅰ"_s, "fa40");
    row("backslash stays a backslash", u"\\"_s, "5c");
    row("tilde stays a tilde", u"~"_s, "7e");
    row("halfwidth katakana", u"ｷ"_s, "b7");
    row("user-defined area", QString(QChar(0xE000)), "f040");
    // Control bytes that other Shift_JIS tables rearrange.
    row("controls 1A 1C 7F", u"\x1a\x1c\x7f"_s, "1a1c7f");
    row("NUL kept", QStringView(u"a\0b", 3).toString(), "610062");
    row("ASCII", u"Hello, World! 0123456789 ~{|}"_s, "48656c6c6f2c20576f726c64212030313233343536373839207e7b7c7d");
    row("empty", QString(), "");
    row("log line", u"PCA,PCB,相手>こんにちは,2002/10/18 9:05:03"_s,
        "5043412c5043422c918a8ee83e82b182f182c982bf82cd2c323030322f31302f313820393a30353a3033");
    row("ideographic space", u"　"_s, "8140");
    // Characters that only encode, through the best-fit part of the table.
    row("wave dash", u"〜"_s, "8160", EncodeOnly);
    row("double vertical line", u"‖"_s, "8161", EncodeOnly);
    row("minus sign", u"−"_s, "817c", EncodeOnly);
    row("not sign", u"¬"_s, "81ca", EncodeOnly);
    row("em dash", u"—"_s, "815c", EncodeOnly);
    row("yen sign", u"¥"_s, "5c", EncodeOnly);
    row("overline", u"‾"_s, "7e", EncodeOnly);
    // Duplicate codes of the NEC and IBM extensions that decode to the same character.
    row("IBM not sign", u"￢"_s, "fa54", DecodeOnly);
    row("NEC-selected IBM not sign", u"￢"_s, "eef9", DecodeOnly);
}

void TestCp932Codec::vectors()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(int, direction);

    if (direction != DecodeOnly) {
        const common::cp932::EncodeResult result = common::cp932::encode(text);
        QVERIFY(result.ok);
        QCOMPARE(result.bytes, bytes);
        QVERIFY(result.unrepresentable.isEmpty());
    }
    if (direction != EncodeOnly)
        QCOMPARE(common::cp932::decode(bytes), text);
}

void TestCp932Codec::invalidSequences_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    const QString bad = QString(QChar(Replacement));
    const auto row = [](const char* name, const char* hex, const QString& text) {
        QTest::newRow(name) << QByteArray::fromHex(hex) << text;
    };
    row("single 80", "80", bad);
    row("single A0", "a0", bad);
    row("single FD FE FF", "fdfeff", bad + bad + bad);
    row("invalid byte between letters", "41ff42", u"A"_s + bad + u"B"_s);
    row("lead byte at the end", "4182", u"A"_s + bad);
    row("lead byte alone", "81", bad);
    row("lead byte then blank", "8120", bad + u" "_s);
    // A broken character must not swallow the line break behind it.
    row("lead byte then CR LF", "810d0a", bad + u"\r\n"_s);
    row("unassigned pair, then a pair", "858140", bad + u"　"_s);
    row("unassigned pair, second byte read again", "8540", bad + u"@"_s);
    row("unassigned pair skipped whole", "81ad41", bad + u"A"_s);
    row("lead byte then invalid byte", "81ff41", bad + u"A"_s);
    row("lead byte then single-byte lead", "ef9f41", bad + QString(QChar(0x8617)));
    row("valid pair after an error", "ff8160", bad + u"～"_s);
}

void TestCp932Codec::invalidSequences()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(common::cp932::decode(bytes), text);
    checkDecodeAgainstIconv(bytes);
}

void TestCp932Codec::unrepresentable_data()
{
    using CodePoints = QList<char32_t>;
    QTest::addColumn<QString>("text");
    QTest::addColumn<CodePoints>("unrepresentable");
    QTest::addColumn<QByteArray>("lossy"); // what a file is given: each such character one "?"

    const QString high(QChar(0xD83D));
    const QString low(QChar(0xDE00));
    const QString otherLow(QChar(0xDC00));
    const QByteArray kanji = common::cp932::encode(u"野家"_s).bytes;
    QTest::newRow("e acute") << u"café"_s << CodePoints{U'é'} << QByteArray("caf?");
    QTest::newRow("each once, in order") << u"éüéaü¦"_s << CodePoints{U'é', U'ü', U'¦'} << QByteArray("???a??");
    QTest::newRow("emoji is one character") << u"a😀b😀c"_s << CodePoints{U'😀'} << QByteArray("a?b?c");
    QTest::newRow("supplementary kanji") << u"𠮷野家"_s << CodePoints{U'𠮷'} << "?" + kanji;
    QTest::newRow("lone high surrogate") << (u"a"_s + high + u"b"_s) << CodePoints{0xD83D} << QByteArray("a?b");
    QTest::newRow("lone low surrogate") << (u"a"_s + low) << CodePoints{0xDE00} << QByteArray("a?");
    QTest::newRow("high surrogate at the end") << (u"a"_s + high) << CodePoints{0xD83D} << QByteArray("a?");
    QTest::newRow("swapped surrogates") << (low + high) << CodePoints{0xDE00, 0xD83D} << QByteArray("??");
    QTest::newRow("lone and paired surrogate differ")
        << (high + u"😀"_s) << CodePoints{0xD83D, U'😀'} << QByteArray("??");
    // Lone surrogates that follow each other in the list stay apart however they would pair.
    QTest::newRow("lone high, then an unrelated lone low")
        << (high + u"a"_s + otherLow) << CodePoints{0xD83D, 0xDC00} << QByteArray("?a?");
    QTest::newRow("lone high, then a lone low that would pair with it")
        << (high + u"x"_s + low) << CodePoints{0xD83D, 0xDE00} << QByteArray("?x?");
    QTest::newRow("pair first, then its halves alone")
        << (u"😀"_s + high + u"a"_s + low) << CodePoints{U'😀', 0xD83D, 0xDE00} << QByteArray("??a?");
    QTest::newRow("halves alone first, then the pair")
        << (high + u"a"_s + low + u"😀"_s) << CodePoints{0xD83D, 0xDE00, U'😀'} << QByteArray("?a??");
    QTest::newRow("byte order mark") << u"\uFEFFa"_s << CodePoints{0xFEFF} << QByteArray("?a");
    QTest::newRow("replacement character between ASCII runs")
        << (QString(17, u'x') + u"\uFFFD"_s + QString(33, u'y')) << CodePoints{0xFFFD}
        << QByteArray(17, 'x') + '?' + QByteArray(33, 'y');
}

void TestCp932Codec::unrepresentable()
{
    QFETCH(QString, text);
    QFETCH(QList<char32_t>, unrepresentable);

    const common::cp932::EncodeResult result = common::cp932::encode(text);
    QVERIFY(!result.ok);
    QCOMPARE(result.unrepresentable, unrepresentable);
    // Nothing half-encoded goes out, and no "?" stands in for what could not be encoded.
    QCOMPARE(result.bytes, QByteArray());
    QVERIFY(!iconvEncode(text).has_value());

    // After a run of ASCII longer than the encoder's stride, and appended to what is there.
    QFETCH(QByteArray, lossy);
    const QString longer = QString(37, u'a') + text;
    QCOMPARE(common::cp932::encode(longer).unrepresentable, unrepresentable);
    QByteArray file("head,");
    common::cp932::appendLossy(file, longer);
    QCOMPARE(file, "head," + QByteArray(37, 'a') + lossy);
}

void TestCp932Codec::decodeAgreesWithIconvOnEveryPair()
{
    QByteArray bytes(1, '\0');
    for (int b = 0; b < 256; ++b) {
        bytes[0] = char(b);
        checkDecodeAgainstIconv(bytes);
        if (const std::optional<QString> single = iconvDecode(bytes))
            m_decodable += single->front();
    }
    bytes.resize(2);
    for (int lead = 0; lead < 256; ++lead) {
        for (int trail = 0; trail < 256; ++trail) {
            bytes[0] = char(lead);
            bytes[1] = char(trail);
            checkDecodeAgainstIconv(bytes);
            if (const std::optional<QString> text = iconvDecode(bytes); text && text->size() == 1)
                m_decodable += text->front();
        }
    }
    // The code page holds a little over seven thousand characters; a wrong converter would not.
    QVERIFY(m_decodable.size() > 7000);
}

void TestCp932Codec::decodeAgreesWithIconvOnRandomBytes()
{
    // Runs of ASCII of every length between lead bytes, trail bytes and invalid bytes, so that
    // errors and characters fall on each position of the sixteen-byte ASCII stride.
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    const QByteArray special = QByteArray::fromHex("80818285889f a0a1b7df e0eaedeeeff0f9fafcfdfeff 0a0d 40 7e 7f");
    for (int sample = 0; sample < 20000; ++sample) {
        QByteArray bytes;
        const int pieces = random.bounded(1, 12);
        for (int p = 0; p < pieces; ++p) {
            switch (random.bounded(3)) {
            case 0:
                bytes += QByteArray(random.bounded(0, 40), char(random.bounded(0x20, 0x7f)));
                break;
            case 1:
                bytes += special[random.bounded(special.size())];
                break;
            default:
                bytes += char(random.bounded(256));
                break;
            }
        }
        checkDecodeAgainstIconv(bytes);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestCp932Codec::encodeAgreesWithIconvOnEveryCodePoint()
{
    int representable = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c < 0xE000)
            continue; // lone surrogates are covered by the table above
        // iconv drops the language tags without a word; the codec lists them, as it would
        // any other character it does not send.
        if (c >= 0xE0000 && c <= 0xE007F) {
            QVERIFY(!common::cp932::encode(QString::fromUcs4(&c, 1)).ok);
            continue;
        }
        const QString text = QString::fromUcs4(&c, 1);
        const common::cp932::EncodeResult result = common::cp932::encode(text);
        const std::optional<QByteArray> expected = iconvEncode(text);
        if (result.ok != expected.has_value() || (expected && result.bytes != *expected) ||
            result.unrepresentable != (result.ok ? QList<char32_t>() : QList<char32_t>{c})) {
            QFAIL(qPrintable(u"encode of U+%1 differs from iconv"_s.arg(uint(c), 4, 16, QChar(u'0'))));
        }
        representable += result.ok ? 1 : 0;
    }
    QVERIFY(representable > 7000);
}

void TestCp932Codec::roundTripOfRandomText()
{
    if (m_decodable.isEmpty())
        QSKIP("needs the characters collected by decodeAgreesWithIconvOnEveryPair");
    QRandomGenerator random(932);
    for (int sample = 0; sample < 2000; ++sample) {
        QString text;
        const int length = random.bounded(0, 60);
        for (int i = 0; i < length; ++i)
            text += m_decodable[random.bounded(m_decodable.size())];
        const common::cp932::EncodeResult result = common::cp932::encode(text);
        QVERIFY(result.ok);
        QCOMPARE(result.bytes, iconvEncode(text).value_or("<rejected by iconv>"));
        QCOMPARE(common::cp932::decode(result.bytes), text);
    }
}

QTEST_GUILESS_MAIN(TestCp932Codec)
#include "tst_cp932codec.moc"
