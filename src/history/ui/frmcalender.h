#pragma once

#include <QDate>
#include <QDialog>

class QCalendarWidget;
class QPushButton;

namespace history::ui {

/**
 * The date dialog of the log viewer: OK hands the picked date to the viewer (dateChosen), which
 * writes it into its date fields. It is a child of its viewer and closes with it, so a date never
 * reaches a closed viewer. Every opening starts on 26 August 2002.
 */
class frmCalender final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmCalender)

public:
    explicit frmCalender(QWidget* viewer);

    QCalendarWidget* const Calendar1;
    QPushButton* const OKButton;
    QPushButton* const CancelButton;

    /// Hands the picked date on (dateChosen), then closes.
    void OKButton_Click();
    /// Closes without handing a date on.
    void CancelButton_Click();

Q_SIGNALS:
    /// The user picked @p date and pressed OK.
    void dateChosen(QDate date);
};

} // namespace history::ui
