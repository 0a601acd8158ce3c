#pragma once

#include "check/connectioncheck.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace chat::ui {

/**
 * The window of ツール → 接続の確認: runs the connection check for the partner and role the main
 * window has, shows each item's row as it ends, and copies the whole report as text for a colleague
 * or an administrator. The check runs in the background; the window stays usable throughout.
 */
class ConnectionCheckWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectionCheckWindow)

public:
    explicit ConnectionCheckWindow(check::Settings settings, QWidget* parent = nullptr);

    /// Checks @p request, abandoning a check still running.
    void check(const check::Request& request);

    /// The report as the copy button puts it on the clipboard: what was checked, then one line per item.
    QString reportText() const;

private:
    void showRow(check::Item item);
    void showFinished();
    void copyReport();

    check::ConnectionCheck* m_check = nullptr;
    QLabel* m_partner = nullptr;
    QTableWidget* m_rows = nullptr;
    QLabel* m_state = nullptr;
    QPushButton* m_again = nullptr;
    QPushButton* m_copy = nullptr;
};

} // namespace chat::ui
