#pragma once

#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLabel;
class QPushButton;
class QTableView;

namespace net {
class ComputerBrowserModel;
} // namespace net

namespace widgets {

/**
 * The modal computer browser: the computers of a net::ComputerBrowserModel, one row each, a line about
 * the search, a button that searches again, OK and cancel. It only shows the model; whoever feeds
 * the model answers refreshRequested().
 */
class ComputerBrowserDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ComputerBrowserDialog)

public:
    explicit ComputerBrowserDialog(net::ComputerBrowserModel& model, QWidget* parent = nullptr);
    ~ComputerBrowserDialog() override;

    /// The computer chosen when the dialog was accepted; empty otherwise.
    QString chosenName() const { return m_chosen; }

    /// Accepts with the selected computer; without a selection the dialog stays open.
    void accept() override;

Q_SIGNALS:
    /// The user asked for a new search.
    void refreshRequested();

private:
    int selectedRow() const;
    void updateStatus();
    void updateOkButton();

    net::ComputerBrowserModel& m_model;
    QLabel* m_status;
    QTableView* m_list;
    QPushButton* m_refresh;
    QDialogButtonBox* m_buttons;
    QString m_chosen;
    bool m_selectionVanishing = false;
};

} // namespace widgets
