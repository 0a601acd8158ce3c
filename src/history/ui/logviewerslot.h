#pragma once

#include <QPointer>
#include <QString>

class QWidget;

namespace widgets {
class FileChooser;
class Prompter;
} // namespace widgets

namespace history::ui {

class tavik_log;

/**
 * The program's one log viewer, for the main window's menu and the search window alike. The menu
 * gets the open viewer, or a fresh one that asks for its file first (makeLogViewer()); a record
 * the search found is shown in the open viewer, or in a fresh one that opens straight on it.
 */
class LogViewerSlot final
{
public:
    LogViewerSlot(widgets::Prompter& prompter, widgets::FileChooser& chooser);
    LogViewerSlot(const LogViewerSlot&) = delete;
    LogViewerSlot& operator=(const LogViewerSlot&) = delete;

    /// For the main window's menu, which shows what this gives.
    QWidget* viewerForMenu();
    /// Shows record @p record (from 0) of the log file @p path in the viewer, brought to the front.
    void showRecord(const QString& path, qsizetype record);
    /// The viewer while it is open, else nullptr.
    tavik_log* viewer() const;

private:
    widgets::Prompter& m_prompter;
    widgets::FileChooser& m_chooser;
    QPointer<tavik_log> m_viewer;
};

} // namespace history::ui
