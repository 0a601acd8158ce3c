#pragma once

#include <QDate>
#include <QString>

namespace history::core {

/// The file dialog's filter list: all files, then the text files that start with @p datePrefix.
QString logFilterList(const QString& datePrefix);

/// The three date field texts for @p date: the year as plain decimal text, month and day as two digits.
struct DateFieldTexts
{
    QString year;
    QString month;
    QString day;
};
DateFieldTexts dateFieldTexts(QDate date);

} // namespace history::core
