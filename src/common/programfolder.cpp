#include "programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace common {

QString programFolder()
{
    const QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty()) {
        QString invoked = arguments.constFirst();
        // A bare name was found through PATH, not in the working directory.
        if (!invoked.contains(u'/'))
            invoked = QStandardPaths::findExecutable(invoked);
        if (!invoked.isEmpty())
            return QDir::cleanPath(QFileInfo(invoked).absolutePath());
    }
    return QCoreApplication::applicationDirPath();
}

} // namespace common
