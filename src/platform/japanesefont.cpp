#include "japanesefont.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>

namespace platform {

void installJapaneseFontSubstitution()
{
    const QString design = QString::fromUtf16(DesignFontFamily);
    QStringList candidates{QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")};
    // Any other installed family that can write Japanese, in the database's order.
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString& family : japanese) {
        if (!candidates.contains(family))
            candidates.append(family);
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

} // namespace platform
