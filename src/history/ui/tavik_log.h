#pragma once

#include "history/ui/frmcalender.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;

namespace widgets {
class FileChooser;
class Prompter;
} // namespace widgets

namespace history::core {
class LogLoader;
class LogTableModel;
} // namespace history::core

namespace history::ui {

/**
 * The log viewer: shows one log file at a time in the grid, one row per record. The file dialog
 * opens in the program's log folder and can be narrowed to the files of one date, which the date
 * fields hold (typed, or written by the date dialog). It only reads files.
 */
class tavik_log final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(tavik_log)

public:
    tavik_log(widgets::Prompter& prompter, widgets::FileChooser& chooser, QWidget* parent = nullptr);
    ~tavik_log() override;

    QPushButton* const CmdCalselect;
    QLineEdit* const Text1;
    QLabel* const Label2;
    QLineEdit* const Text2;
    QLabel* const Label3;
    QLineEdit* const Text3;
    QLabel* const Label1;
    QPushButton* const CmdLoadlogdata;
    QPushButton* const Command1;
    QTableView* const MSFlexGrid1;
    QMenu* const m_file;
    QAction* const m_load;
    QAction* const m_spaser1;
    QAction* const m_close;
    QMenu* const m_serch;
    QAction* const m_select;
    QAction* const m_sansyou;
    QAction* const m_reset;

    /// The grid's model.
    core::LogTableModel* model() const { return m_model; }
    /// The open date dialog, or nullptr.
    frmCalender* dateDialog() const;
    /// The text of the status bar's panel.
    QString statusText() const;
    /// How many lines of the last loaded file were not records.
    qsizetype skippedLines() const { return m_skippedLines; }
    /// Whether a file is being loaded (on a worker thread; the grid shows the previous file meanwhile).
    bool isLoading() const;

    /**
     * Loads @p path as the load commands do, without the file dialog, and selects record
     * @p record (from 0) once it is in the grid: the search window shows a record it found so.
     */
    void showRecord(const QString& path, qsizetype record);

    /// Runs m_load_Click; called once, before the window is first shown.
    void Form_Load();
    /// Loads a file chosen among all text files.
    void m_load_Click();
    /// Loads a file chosen among the text files of the date in the three date fields.
    void CmdLoadlogdata_Click();
    void m_sansyou_Click();
    /// Shows the date dialog, or brings it to the front when it is open.
    void CmdCalselect_Click();
    void m_select_Click();
    /// Empties the three date fields.
    void Command1_Click();
    void m_reset_Click();
    void m_close_Click();
    /// Keeps the outer size at 9000 x 2000 twips at least and fits the grid and the right-hand buttons.
    void Form_Resize();

Q_SIGNALS:
    /// A load ended: its records are in the grid, or its failure was reported.
    void loadFinished();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void prepareGrid();
    void chooseAndLoad(const QString& datePrefix);
    /// Writes the date the date dialog handed on into Text1, Text2 and Text3.
    void fillDateFields(QDate date);
    void loadFile(const QString& path);
    void showLoaded();
    void selectRecordToSelect();
    void layoutControls();

    widgets::Prompter& m_prompter;
    widgets::FileChooser& m_chooser;
    core::LogTableModel* const m_model;
    core::LogLoader* const m_loader;
    QTimer* const m_progressTimer;
    QLabel* const m_statusPanel;
    QPointer<frmCalender> m_dateDialog;
    qsizetype m_skippedLines = 0;
    qsizetype m_recordToSelect = -1; ///< the record showRecord() selects once it is in the grid
    QString m_statusBeforeLoad;
};

/**
 * Makes a fresh log viewer that deletes itself when closed and runs its Form_Load, so the file
 * dialog comes before the viewer is first shown. The caller shows it (at most one at a time).
 */
tavik_log* makeLogViewer(widgets::Prompter& prompter, widgets::FileChooser& chooser);

} // namespace history::ui
