#include "visibletext.h"

namespace messenger {

namespace {

bool isBidiControl(char16_t c)
{
    // LRE, RLE, PDF, LRO, RLO and LRI, RLI, FSI, PDI. The marks LRM/RLM/ALM only nudge neutral
    // characters and cannot reorder text around them, so they are left alone.
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void appendCodePoint(QString& out, char16_t c)
{
    out += QStringView(u"[U+");
    out += QString::number(c, 16).toUpper().rightJustified(4, u'0');
    out += u']';
}

} // namespace

QString visibleText(const QString& text, TextShape shape)
{
    const bool multiLine = shape == TextShape::MultiLine;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (multiLine && (c == u'\n' || c == u'\t')) {
            out += QChar(c);
        } else if (multiLine && c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            out += u'\n';
            ++i;
        } else if (c < 0x20) {
            out += QChar(char16_t(0x2400 + c));
        } else if (c == 0x7F) {
            out += QChar(char16_t(0x2421));
        } else if ((c >= 0x80 && c <= 0x9F) || isBidiControl(c) || (!multiLine && (c == 0x2028 || c == 0x2029))) {
            appendCodePoint(out, c);
        } else {
            out += QChar(c);
        }
    }
    return out;
}

} // namespace messenger
