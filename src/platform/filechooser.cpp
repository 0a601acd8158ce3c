#include "filechooser.h"

#include <QFileDialog>

using namespace Qt::StringLiterals;

namespace platform {

QStringList nameFiltersFromList(const QString& filter)
{
    const QStringList items = filter.split(u'|');
    QStringList result;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        const QString& description = items.at(i);
        QStringList patterns = items.at(i + 1).split(u';', Qt::SkipEmptyParts);
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == u"*.*")
                pattern = u"*"_s;
        }
        result.append(description + u" ("_s + patterns.join(u' ') + u')');
    }
    return result;
}

QString DialogFileChooser::chooseFileToOpen(QWidget* parent, const OpenFileRequest& request)
{
    QFileDialog dialog(parent, u"開く"_s, request.initialFolder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Qt's own dialog, so that it speaks Japanese and uses the program's font like every window.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The list shows each description as it is written, as the design's dialog did: the pattern
    // Qt needs stays out of sight instead of repeating the one most descriptions already name.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = nameFiltersFromList(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(request.filterIndex - 1));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}

} // namespace platform
