#pragma once

#include <QString>

namespace messenger {

enum class TextShape {
    SingleLine, ///< a name: every line break is made visible too
    MultiLine,  ///< a message: line feeds and tabs keep their layout
};

/**
 * @p text made safe to show as plain text from an untrusted sender: C0 control characters and DEL
 * become their U+2400-block symbols (␀ … ␡), C1 controls and the bidi embedding, override and
 * isolate characters become a visible "[U+XXXX]", so that nothing is hidden and no part of the
 * text can reorder what follows it. In a message CR LF is kept as one line break.
 */
QString visibleText(const QString& text, TextShape shape);

} // namespace messenger
