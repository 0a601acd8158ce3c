#pragma once

#include <QString>

namespace history::ui {

/// 「記録として読めない N 行を読み飛ばしました」: what the viewer and the search say of the lines that are no records.
QString skippedLinesText(qsizetype lines);

} // namespace history::ui
