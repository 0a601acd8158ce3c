#include "mod1.h"

namespace mod1 {

std::optional<qint16> CharPos(QStringView text, QStringView key)
{
    // Positions are 16-bit signed integers: a longer text cannot be searched at all, wherever the
    // key would be, so the caller learns that the check itself failed.
    if (text.size() > CharPosMaxLength)
        return std::nullopt;
    if (text.isEmpty() || key.size() != 1)
        return qint16{-1};

    const QChar wanted = key.front();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == wanted)
            return static_cast<qint16>(i + 1);
    }
    return qint16{-1};
}

} // namespace mod1
