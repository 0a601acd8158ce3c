#pragma once

#include <QString>

namespace common {

enum class TextShape {
    SingleLine, ///< a list line or a name: every line break is made visible too
    MultiLine,  ///< a message shown in a text box: line feeds and tabs keep their layout
};

/**
 * @p text from an untrusted sender made safe to show as plain text: C0 control characters and DEL
 * become their U+2400-block symbols (␀ … ␡); C1 controls, the directional marks (LRM, RLM, ALM),
 * the bidi embeddings, overrides and isolates, and in a single line the line and paragraph
 * separators become a visible "<U+XXXX>". So nothing is hidden, no part of the text can reorder
 * what follows it, and a single line stays one line. In a multi-line text CR LF is one line break.
 * A text with nothing to replace is returned shared, not copied.
 */
QString visibleText(const QString& text, TextShape shape = TextShape::SingleLine);

/// The name of a code point as messages write it: "U+" and at least four upper-case hex digits.
QString codePointName(char32_t codePoint);

} // namespace common
