#include "logviewerslot.h"

#include "tavik_log.h"

namespace history::ui {

LogViewerSlot::LogViewerSlot(widgets::Prompter& prompter, widgets::FileChooser& chooser)
    : m_prompter(prompter)
    , m_chooser(chooser)
{}

QWidget* LogViewerSlot::viewerForMenu()
{
    if (!m_viewer)
        m_viewer = makeLogViewer(m_prompter, m_chooser);
    return m_viewer;
}

tavik_log* LogViewerSlot::viewer() const
{
    return m_viewer;
}

void LogViewerSlot::showRecord(const QString& path, qsizetype record)
{
    if (!m_viewer) {
        m_viewer = new tavik_log(m_prompter, m_chooser);
        m_viewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_viewer->showRecord(path, record);
    m_viewer->show();
    m_viewer->raise();
    m_viewer->activateWindow();
}

} // namespace history::ui
