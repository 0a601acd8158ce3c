#pragma once

#include "history/core/foldersearch.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace widgets {
class FileChooser;
} // namespace widgets

namespace history::core {
class SearchResultModel;
} // namespace history::core

namespace history::ui {

/**
 * ログの検索: finds a keyword in every log file of a folder, ignoring full- and half-width forms
 * and letter case, optionally within a range of days, and lists the records found as they come
 * (date-time, sending PC, receiving PC, message with the keyword marked, file). The search runs
 * on a worker thread (core::FolderSearch); a new search or closing the window stops it. Enter or a
 * double-click on a row shows that record in the log viewer.
 */
class LogSearchWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogSearchWindow)

public:
    /// Shows record @p record (from 0) of the log file @p path in the log viewer.
    using OpenRecord = std::function<void(const QString& path, qsizetype record)>;

    /// Searches @p folder unless the user picks another (through @p chooser); found records open through @p openRecord.
    LogSearchWindow(const QString& folder, widgets::FileChooser& chooser, OpenRecord openRecord,
                    QWidget* parent = nullptr);
    ~LogSearchWindow() override;

    QLineEdit* const keyword;
    QCheckBox* const withinDays;
    QDateEdit* const firstDay;
    QDateEdit* const lastDay;
    QLineEdit* const folder;
    QPushButton* const chooseFolder;
    QPushButton* const searchButton;
    QPushButton* const stopButton;
    QTableView* const results;
    QLabel* const status;

    core::SearchResultModel* model() const { return m_model; }
    bool isSearching() const { return m_search->isRunning(); }

    /// Starts a search for what the fields hold, giving up the one running; an empty keyword only says so.
    void search();
    /// Gives up the running search; the records found so far stay.
    void stop();
    /// Shows the current row's record in the log viewer.
    void openCurrent();

Q_SIGNALS:
    /// A search came to its end (not when it was given up).
    void searchFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void addHits(const QList<core::SearchHit>& hits);
    void finish(const core::SearchSummary& summary);
    void showProgress();
    void setSearching(bool searching);
    void describeControls();

    widgets::FileChooser& m_chooser;
    OpenRecord m_openRecord;
    core::SearchResultModel* const m_model;
    core::FolderSearch* const m_search;
    QTimer* const m_progressTimer;
    QString m_searchedFolder;
};

/// A search window that deletes itself when closed; the caller shows it (at most one at a time).
LogSearchWindow* makeLogSearchWindow(const QString& folder, widgets::FileChooser& chooser,
                                     LogSearchWindow::OpenRecord openRecord);

} // namespace history::ui
