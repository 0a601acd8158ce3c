#include "viewerlogic.h"

using namespace Qt::StringLiterals;

namespace history::core {

QString logFilterList(const QString& datePrefix)
{
    return u"すべてのファイル (*.*)|*.*|"_s + u"テキストファイル ("_s + datePrefix + u"*.txt)|"_s + datePrefix +
           u"*.txt|"_s;
}

DateFieldTexts dateFieldTexts(QDate date)
{
    const auto twoDigits = [](int value) {
        return value < 10 ? u'0' + QString::number(value) : QString::number(value);
    };
    return {QString::number(date.year()), twoDigits(date.month()), twoDigits(date.day())};
}

} // namespace history::core
