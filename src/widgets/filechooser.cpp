#include "filechooser.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace widgets {

namespace {

/**
 * Qt's file list writes sizes and dates in the session's locale, which is English under LANG=C;
 * this shows them in the program's (Japanese) locale, as the rest of the dialog.
 */
class LocalizedFileDetails final : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
        case SizeColumn:
            return files->isDir(source) ? QString() : QLocale().formattedDataSize(files->size(source));
        case DateColumn:
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        default:
            return QIdentityProxyModel::data(index, role);
        }
    }

private:
    // The columns of QFileSystemModel: name, size, type, date modified.
    static constexpr int SizeColumn = 1;
    static constexpr int DateColumn = 3;
};

} // namespace

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
    dialog.setProxyModel(new LocalizedFileDetails(&dialog));
    const QStringList filters = nameFiltersFromList(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(request.filterIndex - 1));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}

} // namespace widgets
