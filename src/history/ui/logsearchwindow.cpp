#include "logsearchwindow.h"

#include "common/twips.h"
#include "history/core/searchresultmodel.h"
#include "historytexts.h"
#include "logviewercontrols.h"
#include "searchhitdelegate.h"
#include "widgets/designcontrol.h"
#include "widgets/errortext.h"
#include "widgets/filechooser.h"
#include "widgets/programicon.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

using namespace Qt::StringLiterals;
using common::px;

namespace history::ui {

using core::SearchResultModel;
using widgets::describe;
using widgets::named;

namespace {

// A keyword is a word or a phrase; the box takes no more.
constexpr int MaxKeywordChars = 256;

// Column widths in twips; the message column takes what is left.
constexpr int DateTimeWidth = 2100;
constexpr int PcWidth = 1500;
constexpr int FileWidth = 2700;

QString idleText()
{
    return u"キーワードを入れて［検索］を押してください。全角と半角、大文字と小文字は区別しません。"_s;
}

} // namespace

LogSearchWindow::LogSearchWindow(const QString& logFolder, widgets::FileChooser& chooser, OpenRecord openRecord,
                                 QWidget* parent)
    : QWidget(parent)
    , keyword(named(new QLineEdit, u"keyword"_s))
    , withinDays(named(new QCheckBox(u"期間(&D):"_s), u"withinDays"_s))
    , firstDay(named(new QDateEdit(QDate::currentDate().addMonths(-1)), u"firstDay"_s))
    , lastDay(named(new QDateEdit(QDate::currentDate()), u"lastDay"_s))
    , folder(named(new QLineEdit(QDir::toNativeSeparators(logFolder)), u"folder"_s))
    , chooseFolder(named(new QPushButton(u"参照(&B)..."_s), u"chooseFolder"_s))
    , searchButton(named(new QPushButton(u"検索(&S)"_s), u"searchButton"_s))
    , stopButton(named(new QPushButton(u"中止(&T)"_s), u"stopButton"_s))
    , results(named(new QTableView, u"results"_s))
    , status(named(new QLabel(idleText()), u"status"_s))
    , m_chooser(chooser)
    , m_openRecord(std::move(openRecord))
    , m_model(new SearchResultModel(this))
    , m_search(new core::FolderSearch(this))
    , m_progressTimer(new QTimer(this))
{
    setObjectName(u"LogSearchWindow"_s);
    setWindowTitle(u"ログの検索"_s);
    widgets::applyProgramIcon(this);

    auto* keywordLabel = named(new QLabel(u"キーワード(&K):"_s), u"keywordLabel"_s);
    keywordLabel->setBuddy(keyword);
    auto* folderLabel = named(new QLabel(u"フォルダ(&F):"_s), u"folderLabel"_s);
    folderLabel->setBuddy(folder);
    auto* dash = named(new QLabel(u"〜"_s), u"dash"_s);
    for (QDateEdit* day : {firstDay, lastDay}) {
        day->setCalendarPopup(true);
        day->setDisplayFormat(u"yyyy/MM/dd"_s);
        day->setEnabled(false);
    }
    auto* days = new QHBoxLayout;
    days->addWidget(firstDay);
    days->addWidget(dash);
    days->addWidget(lastDay);
    days->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(keywordLabel, 0, 0);
    grid->addWidget(keyword, 0, 1);
    grid->addWidget(searchButton, 0, 2);
    grid->addWidget(stopButton, 0, 3);
    grid->addWidget(withinDays, 1, 0);
    grid->addLayout(days, 1, 1);
    grid->addWidget(folderLabel, 2, 0);
    grid->addWidget(folder, 2, 1);
    grid->addWidget(chooseFolder, 2, 2, 1, 2);
    grid->addWidget(results, 3, 0, 1, 4);
    grid->addWidget(status, 4, 0, 1, 4);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);

    // A grid as the viewer's, whole rows selected.
    setUpLogGrid(results, m_model);
    results->setItemDelegate(new SearchHitDelegate(results));
    results->setSelectionBehavior(QAbstractItemView::SelectRows);
    results->setSelectionMode(QAbstractItemView::SingleSelection);
    results->setColumnWidth(SearchResultModel::DateTimeColumn, px(DateTimeWidth));
    results->setColumnWidth(SearchResultModel::SenderColumn, px(PcWidth));
    results->setColumnWidth(SearchResultModel::ReceiverColumn, px(PcWidth));
    results->setColumnWidth(SearchResultModel::FileColumn, px(FileWidth));
    results->horizontalHeader()->setSectionResizeMode(SearchResultModel::MessageColumn, QHeaderView::Stretch);
    keyword->setMaxLength(MaxKeywordChars);
    status->setWordWrap(true);
    status->setTextFormat(Qt::PlainText);
    stopButton->setEnabled(false);
    setTabOrder(keyword, searchButton);
    setTabOrder(searchButton, stopButton);
    setTabOrder(stopButton, withinDays);
    setTabOrder(withinDays, firstDay);
    setTabOrder(firstDay, lastDay);
    setTabOrder(lastDay, folder);
    setTabOrder(folder, chooseFolder);
    setTabOrder(chooseFolder, results);

    connect(keyword, &QLineEdit::returnPressed, this, &LogSearchWindow::search);
    connect(folder, &QLineEdit::returnPressed, this, &LogSearchWindow::search);
    connect(searchButton, &QPushButton::clicked, this, &LogSearchWindow::search);
    connect(stopButton, &QPushButton::clicked, this, &LogSearchWindow::stop);
    connect(withinDays, &QCheckBox::toggled, this, [this](bool on) {
        firstDay->setEnabled(on);
        lastDay->setEnabled(on);
    });
    connect(chooseFolder, &QPushButton::clicked, this, [this] {
        const QString chosen = m_chooser.chooseFolder(this, QDir::fromNativeSeparators(folder->text()));
        if (!chosen.isEmpty())
            folder->setText(QDir::toNativeSeparators(chosen));
    });
    // Enter on a row, or a double-click.
    connect(results, &QTableView::activated, this, &LogSearchWindow::openCurrent);
    connect(m_search, &core::FolderSearch::hitsFound, this, &LogSearchWindow::addHits);
    connect(m_search, &core::FolderSearch::finished, this, &LogSearchWindow::finish);
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this, &LogSearchWindow::showProgress);

    describeControls();
    resize(px(12600), px(7200));
    keyword->setFocus();
}

LogSearchWindow::~LogSearchWindow() = default;

void LogSearchWindow::describeControls()
{
    setAccessibleName(windowTitle());
    setAccessibleDescription(u"ログフォルダのすべてのログファイルからメッセージを探す画面"_s);
    describe(keyword, u"キーワード"_s, u"探す言葉。全角と半角、大文字と小文字は区別しません。Enterキーで検索します"_s);
    describe(searchButton, {}, u"キーワードを含む記録を、フォルダのすべてのログファイルから探します"_s);
    describe(stopButton, {}, u"検索を途中でやめます。見つかった記録は残ります"_s);
    describe(withinDays, {}, u"オンにすると、右の2つの日付の間の記録だけを探します"_s);
    describe(firstDay, u"期間の始めの日"_s, u"この日から後の記録を探します"_s);
    describe(lastDay, u"期間の終わりの日"_s, u"この日までの記録を探します"_s);
    describe(findChild<QLabel*>(u"dash"_s), u"から"_s, u"2つの日付の間を示す文字"_s);
    describe(findChild<QLabel*>(u"keywordLabel"_s), {}, u"右の欄がキーワードであることを示す文字"_s);
    describe(findChild<QLabel*>(u"folderLabel"_s), {}, u"右の欄が探すフォルダであることを示す文字"_s);
    describe(folder, u"フォルダ"_s, u"ログファイルを探すフォルダ。始めはログの保存先です"_s);
    describe(chooseFolder, {}, u"探すフォルダを一覧から選びます"_s);
    describe(results, u"見つかった記録"_s,
             u"日時、送信側PC、受信側PC、メッセージ、ファイル名。Enterキーかダブルクリックでログの画面に表示します"_s);
    describe(status, u"検索の結果"_s, u"見つかった件数と、読めなかった記録やファイル"_s);
}

void LogSearchWindow::search()
{
    core::SearchQuery query;
    query.keyword = keyword->text();
    if (query.keyword.trimmed().isEmpty()) {
        status->setText(u"キーワードを入れてください。"_s);
        keyword->setFocus();
        return;
    }
    if (withinDays->isChecked()) {
        query.from = firstDay->date();
        query.to = lastDay->date();
        if (query.from > query.to) {
            status->setText(u"期間の始めの日が終わりの日より後になっています。"_s);
            return;
        }
    }
    m_search->cancel();
    m_model->clear();
    m_searchedFolder = QDir::fromNativeSeparators(folder->text().trimmed());
    m_search->start(m_searchedFolder, query);
    setSearching(true);
    showProgress();
}

void LogSearchWindow::stop()
{
    if (!m_search->isRunning())
        return;
    m_search->cancel();
    setSearching(false);
    status->setText(u"検索を中止しました（%1 件）。"_s.arg(m_model->rowCount()));
}

void LogSearchWindow::openCurrent()
{
    const int row = results->currentIndex().row();
    if (row < 0 || row >= m_model->rowCount() || !m_openRecord)
        return;
    const core::SearchHit& hit = m_model->hit(row);
    m_openRecord(QDir(m_searchedFolder).filePath(hit.fileName), hit.record);
}

void LogSearchWindow::addHits(const QList<core::SearchHit>& hits)
{
    const bool first = m_model->rowCount() == 0;
    m_model->append(hits);
    if (first && !results->currentIndex().isValid())
        results->setCurrentIndex(m_model->index(0, SearchResultModel::MessageColumn));
}

void LogSearchWindow::showProgress()
{
    const auto [done, total] = m_search->progress();
    status->setText(u"検索中… %1 / %2 ファイル、%3 件"_s.arg(done).arg(total).arg(m_model->rowCount()));
}

void LogSearchWindow::finish(const core::SearchSummary& summary)
{
    setSearching(false);
    if (!summary.folder.isOk()) {
        status->setText(u"フォルダ %1 を開けませんでした。%2"_s.arg(QDir::toNativeSeparators(summary.folder.detail()),
                                                                    widgets::errorText(summary.folder)));
        Q_EMIT searchFinished();
        return;
    }
    QString text = u"%1 件見つかりました（ログファイル %2 個を検索）。"_s.arg(summary.hits).arg(summary.filesSearched);
    if (summary.stoppedAtLimit)
        text += u"%1 件に達したため、残りのファイルは検索していません。"_s.arg(core::FolderSearch::MaxHits);
    if (summary.skippedLines > 0)
        text += skippedLinesText(summary.skippedLines) + u'。';
    QStringList unreadable;
    for (const common::Status& file : summary.unreadable)
        unreadable << QDir::toNativeSeparators(file.detail()) + u"：" + widgets::errorText(file);
    if (!unreadable.isEmpty())
        text += u"読めなかったファイル %1 個（%2）。"_s.arg(unreadable.size()).arg(unreadable.constFirst());
    status->setText(text);
    status->setToolTip(unreadable.join(u'\n'));
    Q_EMIT searchFinished();
}

void LogSearchWindow::setSearching(bool searching)
{
    stopButton->setEnabled(searching);
    if (searching) {
        status->setToolTip({});
        m_progressTimer->start();
    } else {
        m_progressTimer->stop();
    }
}

void LogSearchWindow::closeEvent(QCloseEvent* event)
{
    m_search->cancel();
    m_progressTimer->stop();
    QWidget::closeEvent(event);
}

LogSearchWindow* makeLogSearchWindow(const QString& folder, widgets::FileChooser& chooser,
                                     LogSearchWindow::OpenRecord openRecord)
{
    auto* window = new LogSearchWindow(folder, chooser, std::move(openRecord));
    window->setAttribute(Qt::WA_DeleteOnClose);
    return window;
}

} // namespace history::ui
