#include "filechooser.h"

#include "columnfit.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QTreeView>

#include <algorithm>

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

    // The columns of QFileSystemModel: name, size, type, date modified.
    static constexpr int SizeColumn = 1;
    static constexpr int DateColumn = 3;

    static QString sizeText(qint64 bytes) { return QLocale().formattedDataSize(bytes); }
    static QString dateText(const QDateTime& time) { return QLocale().toString(time, QLocale::ShortFormat); }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
        case SizeColumn:
            return files->isDir(source) ? QString() : sizeText(files->size(source));
        case DateColumn:
            return dateText(files->lastModified(source));
        default:
            return QIdentityProxyModel::data(index, role);
        }
    }
};

/**
 * Widens the detail view's size and date columns to their longest texts and captions. Qt sizes
 * them for English texts ("128.88 GB", "10/29/81 02:02PM"), which cuts the Japanese ones
 * (「29 バイト」, 「2026/10/18 12:27」). A column the user made wider before keeps its width.
 */
void fitDetailColumns(QFileDialog& dialog)
{
    auto* view = dialog.findChild<QTreeView*>(u"treeView"_s);
    if (!view)
        return;
    const QFontMetrics metrics = view->fontMetrics();
    // The longest size text has four digits before the point; the longest date two-digit fields.
    QStringList sizes;
    for (qint64 unit = 1; unit <= (qint64(1) << 40); unit <<= 10)
        sizes << LocalizedFileDetails::sizeText(unit * 1024 - 1);
    const QString date = LocalizedFileDetails::dateText(QDateTime(QDate(2000, 12, 28), QTime(23, 59, 59)));
    const auto fit = [&](int column, const QStringList& samples) {
        int width = view->header()->sectionSizeHint(column);
        for (const QString& sample : samples)
            width = std::max(width, cellWidthFor(*view, withWidestDigits(sample, metrics)));
        view->header()->resizeSection(column, std::max(width, view->header()->sectionSize(column)));
    };
    fit(LocalizedFileDetails::SizeColumn, sizes);
    fit(LocalizedFileDetails::DateColumn, {date});
}

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
    fitDetailColumns(dialog);
    const QStringList filters = nameFiltersFromList(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(request.filterIndex - 1));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}

QString DialogFileChooser::chooseFolder(QWidget* parent, const QString& initialFolder)
{
    QFileDialog dialog(parent, u"フォルダの選択"_s, initialFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ShowDirsOnly);
    dialog.setProxyModel(new LocalizedFileDetails(&dialog));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}

} // namespace widgets
