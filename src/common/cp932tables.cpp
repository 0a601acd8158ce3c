#include "cp932tables.h"

#include <QtGlobal>

#include <cerrno>
#include <iconv.h>
#include <memory>

namespace common::cp932::detail {
namespace {

/// An iconv conversion descriptor, closed with its owner.
class Converter final
{
public:
    Converter(const char* to, const char* from)
        : m_handle(iconv_open(to, from))
    {}
    ~Converter()
    {
        if (isOpen())
            iconv_close(m_handle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool isOpen() const { return m_handle != reinterpret_cast<iconv_t>(-1); }

    struct Outcome
    {
        int error = 0;        ///< 0, or errno of the last iconv call (EILSEQ, EINVAL, E2BIG)
        size_t inLeft = 0;    ///< input bytes iconv did not consume
        size_t outLength = 0; ///< output bytes written
    };

    /// Converts @p in from the initial state. A converter opened with //IGNORE may report an
    /// error after skipping and still have input left, so the call is repeated while it progresses.
    Outcome convert(const unsigned char* in, size_t inLength, unsigned char* out, size_t outCapacity)
    {
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        // iconv's interface takes non-const input although it never writes to it.
        char* inPtr = reinterpret_cast<char*>(const_cast<unsigned char*>(in));
        char* outPtr = reinterpret_cast<char*>(out);
        size_t inLeft = inLength;
        size_t outLeft = outCapacity;
        Outcome outcome;
        while (inLeft > 0) {
            const size_t before = inLeft;
            if (iconv(m_handle, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
                outcome.error = 0;
                break;
            }
            outcome.error = errno;
            if (outcome.error != EILSEQ || inLeft == before)
                break;
        }
        outcome.inLeft = inLeft;
        outcome.outLength = outCapacity - outLeft;
        return outcome;
    }

private:
    iconv_t m_handle;
};

constexpr const char* CodePage = "CP932";

// Little-endian UTF-16 is spelled out, and read and written byte by byte, so that the tables do
// not depend on the host's byte order.
constexpr const char* Utf16 = "UTF-16LE";
constexpr const char* Utf16Ignoring = "UTF-16LE//IGNORE";

char16_t unitAt(const unsigned char* bytes)
{
    return static_cast<char16_t>(bytes[0] | bytes[1] << 8);
}

/// Without the converter only ASCII can be converted; everything else fails visibly.
void fillAsciiOnly(DecodeTable& table)
{
    table.single.fill(InvalidByte);
    for (char16_t b = 0; b < 0x80; ++b)
        table.single[b] = b;
    table.pair.fill(InvalidLeadOnly);
    table.asciiIdentity = true;
}

void fillAsciiOnly(EncodeTable& table)
{
    table.code.fill(Unrepresentable);
    for (quint16 c = 0; c < 0x80; ++c)
        table.code[c] = c;
    table.asciiIdentity = true;
}

std::unique_ptr<const DecodeTable> buildDecodeTable()
{
    auto table = std::make_unique<DecodeTable>();
    Converter strict(Utf16, CodePage);
    Converter ignoring(Utf16Ignoring, CodePage);
    if (!strict.isOpen() || !ignoring.isOpen()) {
        qCritical("iconv does not know the code page CP932; only ASCII text can be read");
        fillAsciiOnly(*table);
        return table;
    }
    table->pair.fill(InvalidLeadOnly);

    unsigned char out[16];
    for (unsigned b = 0; b < 256; ++b) {
        const unsigned char in[1] = {static_cast<unsigned char>(b)};
        const auto outcome = strict.convert(in, 1, out, sizeof out);
        if (outcome.error == 0 && outcome.inLeft == 0 && outcome.outLength == 2 && unitAt(out) < LeadByte)
            table->single[b] = unitAt(out);
        else if (outcome.error == EINVAL)
            table->single[b] = LeadByte;
        else
            table->single[b] = InvalidByte;
    }

    for (unsigned lead = 0; lead < 256; ++lead) {
        if (table->single[lead] != LeadByte)
            continue;
        for (unsigned trail = 0; trail < 256; ++trail) {
            const unsigned char in[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
            char16_t& entry = table->pair[lead << 8 | trail];
            const auto outcome = strict.convert(in, 2, out, sizeof out);
            // The two highest code units mark invalid pairs; no code page maps to them.
            if (outcome.error == 0 && outcome.inLeft == 0 && outcome.outLength == 2 && unitAt(out) < InvalidPair) {
                entry = unitAt(out);
                continue;
            }
            // iconv resumes after a bad pair either at the second byte or behind it, depending on
            // the lead byte's range. Skipping errors shows which: the second byte read again on its
            // own either yields a character or is left over as the start of an unfinished one. A
            // second byte that is invalid alone as well is counted with the lead as one bad sequence.
            const auto skipped = ignoring.convert(in, 2, out, sizeof out);
            entry = skipped.outLength > 0 || skipped.inLeft > 0 ? InvalidLeadOnly : InvalidPair;
        }
    }

    table->asciiIdentity = true;
    for (char16_t b = 0; b < 0x80; ++b)
        table->asciiIdentity = table->asciiIdentity && table->single[b] == b;
    return table;
}

std::unique_ptr<const EncodeTable> buildEncodeTable()
{
    auto table = std::make_unique<EncodeTable>();
    Converter strict(CodePage, Utf16);
    if (!strict.isOpen()) {
        qCritical("iconv does not know the code page CP932; only ASCII text can be written");
        fillAsciiOnly(*table);
        return table;
    }

    unsigned char out[16];
    for (unsigned c = 0; c < 0x10000; ++c) {
        quint16& entry = table->code[c];
        entry = Unrepresentable;
        // A surrogate is half a character: alone it has no form in any code page.
        if (c >= 0xD800 && c < 0xE000)
            continue;
        const unsigned char in[2] = {static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8)};
        const auto outcome = strict.convert(in, 2, out, sizeof out);
        if (outcome.error != 0 || outcome.inLeft != 0)
            continue;
        if (outcome.outLength == 1)
            entry = out[0];
        else if (outcome.outLength == 2 && out[0] != 0 && !(out[0] == 0xFF && out[1] == 0xFF))
            entry = static_cast<quint16>(out[0] << 8 | out[1]);
    }

    table->asciiIdentity = true;
    for (quint16 c = 0; c < 0x80; ++c)
        table->asciiIdentity = table->asciiIdentity && table->code[c] == c;
    return table;
}

} // namespace

const DecodeTable& decodeTable()
{
    static const std::unique_ptr<const DecodeTable> table = buildDecodeTable();
    return *table;
}

const EncodeTable& encodeTable()
{
    static const std::unique_ptr<const EncodeTable> table = buildEncodeTable();
    return *table;
}

} // namespace common::cp932::detail
