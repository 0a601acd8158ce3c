#pragma once

#include <QStringView>

#include <optional>

namespace mod1 {

/// Longest text CharPos accepts: its positions are 16-bit signed integers.
inline constexpr qsizetype CharPosMaxLength = 32767;

/**
 * Position of the first character of @p text that equals @p key.
 * @return the 1-based position counted in UTF-16 code units, or -1 when there is none, when
 *         @p text is empty or when @p key is not exactly one character; std::nullopt when
 *         @p text is longer than CharPosMaxLength, a failure the caller must handle.
 */
std::optional<qint16> CharPos(QStringView text, QStringView key);

} // namespace mod1
