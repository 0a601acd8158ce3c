#include "programicon.h"

#include <QFile>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace platform {

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString path = u":/icons/tavik-%1.png"_s.arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}

void applyProgramIcon(QWidget* window)
{
    // Made once: every window of the program shows the same icon.
    static const QIcon icon = programIcon();
    if (!icon.isNull())
        window->setWindowIcon(icon);
}

} // namespace platform
