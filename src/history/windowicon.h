#pragma once

#include <QFile>
#include <QIcon>
#include <QWidget>

namespace history {

/// Gives @p window the program's icon when the resources hold one.
inline void applyProgramIcon(QWidget* window)
{
    const QString path = QStringLiteral(":/icons/tavik.png");
    if (QFile::exists(path))
        window->setWindowIcon(QIcon(path));
}

} // namespace history
