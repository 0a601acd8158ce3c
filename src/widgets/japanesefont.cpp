#include "japanesefont.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>

namespace widgets {

void installJapaneseFontSubstitution()
{
    const QString design = QString::fromUtf16(DesignFontFamily);
    const QString metricCompatible = QStringLiteral("IPAPGothic");
    QStringList candidates{metricCompatible, QStringLiteral("IPAGothic")};
    // Without the IPA fonts, any other installed family that can write Japanese, in the
    // database's order. Only then: asking by writing system makes the database read every
    // family's details, a millisecond of start-up that the usual case does not need.
    if (!QFontDatabase::hasFamily(metricCompatible)) {
        const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
        for (const QString& family : japanese) {
            if (!candidates.contains(family))
                candidates.append(family);
        }
    }
    QFont::insertSubstitutions(design, candidates);
}

QFont designFont(qreal pointSize)
{
    QFont font(QString::fromUtf16(DesignFontFamily));
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace widgets
