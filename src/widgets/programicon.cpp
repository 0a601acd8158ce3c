#include "programicon.h"

#include <QFile>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace widgets {

const QIcon& programIcon()
{
    // Made once and shared: a QIcon decodes every file added to it at once, so each size is
    // decoded a single time for all the program's windows.
    static const QIcon icon = [] {
        QIcon sizes;
        for (const int size : {16, 32, 48, 64}) {
            const QString path = u":/icons/tavik-%1.png"_s.arg(size);
            if (QFile::exists(path))
                sizes.addFile(path, QSize(size, size));
        }
        return sizes;
    }();
    return icon;
}

void applyProgramIcon(QWidget* window)
{
    if (!programIcon().isNull())
        window->setWindowIcon(programIcon());
}

} // namespace widgets
