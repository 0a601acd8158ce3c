#pragma once

#include <QDialog>
#include <QPointer>

class QCalendarWidget;
class QPushButton;

namespace history {

class tavik_log;

/**
 * The date dialog of the log viewer: OK writes the picked date into the viewer's date fields.
 * It belongs to its viewer and closes with it, so OK never writes into a closed viewer. Every
 * opening starts on 26 August 2002.
 */
class frmCalender final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmCalender)

public:
    explicit frmCalender(tavik_log& viewer);

    QCalendarWidget* const Calendar1;
    QPushButton* const OKButton;
    QPushButton* const CancelButton;

    /// Writes year, month and day into the viewer's Text1, Text2 and Text3, then closes.
    void OKButton_Click();
    /// Closes without writing anything.
    void CancelButton_Click();

private:
    QPointer<tavik_log> m_viewer;
};

} // namespace history
