#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace widgets {

/// What an open-file dialog is asked to show.
struct OpenFileRequest
{
    /// Pairs of description and pattern, every item followed by "|": "テキスト (*.txt)|*.txt|".
    QString filter;
    /// The 1-based index of the pair selected when the dialog opens.
    int filterIndex = 1;
    /// The folder the dialog opens in.
    QString initialFolder;
};

/**
 * Turns a "description|pattern|" list into Qt name filters "description (pattern)". A pattern
 * "*.*" means every file, so it becomes "*" (a file without an extension would not match "*.*");
 * several patterns separated by ";" become a space-separated list. A trailing item without a
 * pattern is dropped.
 */
QStringList nameFiltersFromList(const QString& filter);

/// Asks the user for an existing file to open, or a folder; tests inject a scripted one.
class FileChooser
{
public:
    virtual ~FileChooser() = default;
    /** Shows the modal open-file dialog for @p request. @return the chosen path, empty when cancelled. */
    virtual QString chooseFileToOpen(QWidget* parent, const OpenFileRequest& request) = 0;
    /** Shows the modal folder dialog, opened in @p initialFolder. @return the chosen folder, empty when cancelled. */
    virtual QString chooseFolder(QWidget* parent, const QString& initialFolder) = 0;
};

/**
 * The real dialog: Qt's own QFileDialog for one existing file or folder. Its type list shows the
 * descriptions alone, each exactly as written in the filter list.
 */
class DialogFileChooser final : public FileChooser
{
public:
    QString chooseFileToOpen(QWidget* parent, const OpenFileRequest& request) override;
    QString chooseFolder(QWidget* parent, const QString& initialFolder) override;
};

} // namespace widgets
