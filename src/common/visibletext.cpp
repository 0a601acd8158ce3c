#include "visibletext.h"

#include <algorithm>

namespace common {

namespace {

bool needsMarker(char16_t c, TextShape shape)
{
    return (c >= 0x80 && c <= 0x9F)                                            // C1 controls
           || (shape == TextShape::SingleLine && (c == 0x2028 || c == 0x2029)) // line and paragraph separators
           || c == 0x061C || c == 0x200E || c == 0x200F                        // ALM, LRM, RLM
           || (c >= 0x202A && c <= 0x202E)                                     // embeddings and overrides
           || (c >= 0x2066 && c <= 0x2069);                                    // isolates
}

bool keptAsIs(char16_t c, TextShape shape)
{
    if (c > 0x2069 || (c >= 0x20 && c < 0x7F))
        return true; // printable ASCII, and everything above the last character that gets a marker
    if (c == u'\n' || c == u'\t')
        return shape == TextShape::MultiLine;
    return c >= 0x20 && c != 0x7F && !needsMarker(c, shape);
}

} // namespace

QString visibleText(const QString& text, TextShape shape)
{
    // Almost every message has nothing to replace; it is then shared, not copied.
    if (std::all_of(text.cbegin(), text.cend(), [shape](QChar ch) { return keptAsIs(ch.unicode(), shape); }))
        return text;

    const bool multiLine = shape == TextShape::MultiLine;
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (keptAsIs(c, shape)) {
            shown += QChar(c);
        } else if (multiLine && c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            shown += u'\n';
            ++i;
        } else if (c < 0x20) {
            shown += QChar(char16_t(0x2400 + c));
        } else if (c == 0x7F) {
            shown += QChar(u'\u2421');
        } else {
            shown += u'<';
            shown += codePointName(c);
            shown += u'>';
        }
    }
    return shown;
}

QString codePointName(char32_t codePoint)
{
    return QStringLiteral("U+") + QString::number(quint32(codePoint), 16).toUpper().rightJustified(4, u'0');
}

} // namespace common
