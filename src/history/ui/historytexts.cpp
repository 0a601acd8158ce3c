#include "historytexts.h"

using namespace Qt::StringLiterals;

namespace history::ui {

QString skippedLinesText(qsizetype lines)
{
    return u"記録として読めない %1 行を読み飛ばしました"_s.arg(lines);
}

} // namespace history::ui
