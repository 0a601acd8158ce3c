#include "tavik_log.h"

#include "common/programfolder.h"
#include "common/programinfo.h"
#include "common/twips.h"
#include "frmcalender.h"
#include "history/core/logloader.h"
#include "history/core/logreader.h"
#include "history/core/logtablemodel.h"
#include "history/core/viewerlogic.h"
#include "historytexts.h"
#include "logviewercontrols.h"
#include "widgets/columnfit.h"
#include "widgets/designcontrol.h"
#include "widgets/errortext.h"
#include "widgets/filechooser.h"
#include "widgets/programicon.h"
#include "widgets/prompter.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <iterator>
#include <utility>

using namespace Qt::StringLiterals;
using common::px;
using common::twips;
using common::twipsRect;

namespace history::ui {

using widgets::describe;
using widgets::named;

namespace {

constexpr int ColumnWidths[core::LogTableModel::ColumnCount] = {0, 1125, 1125, 1500, 4920};
constexpr int DateTimeColumn = 3;
constexpr int MinimumOuterWidth = 9000;
constexpr int MinimumOuterHeight = 2000;

// A set accessible name hides a label's text from a screen reader, so the name carries both the
// panel's caption and what it shows now.
void showStatus(QLabel* panel, const QString& text)
{
    panel->setText(text);
    panel->setAccessibleName(text.isEmpty() ? u"読み込み結果"_s : u"読み込み結果："_s + text);
}

} // namespace

tavik_log::tavik_log(widgets::Prompter& prompter, widgets::FileChooser& chooser, QWidget* parent)
    : QMainWindow(parent)
    , CmdCalselect(named(new QPushButton(u"日付選択"_s), u"CmdCalselect"_s))
    , Text1(named(new QLineEdit, u"Text1"_s))
    , Label2(named(new QLabel(u"年"_s), u"Label2"_s))
    , Text2(named(new QLineEdit, u"Text2"_s))
    , Label3(named(new QLabel(u"月"_s), u"Label3"_s))
    , Text3(named(new QLineEdit, u"Text3"_s))
    , Label1(named(new QLabel(u"月内のログデータのみ"_s), u"Label1"_s))
    , CmdLoadlogdata(named(new QPushButton(u"参照"_s), u"CmdLoadlogdata"_s))
    , Command1(named(new QPushButton(u"日付リセット"_s), u"Command1"_s))
    , MSFlexGrid1(named(new QTableView, u"MSFlexGrid1"_s))
    , m_file(named(menuBar()->addMenu(u"ファイル(&F)"_s), u"m_file"_s))
    , m_load(named(m_file->addAction(u"過去ログの読み込み(&L)"_s), u"m_load"_s))
    , m_spaser1(named(m_file->addSeparator(), u"m_spaser1"_s))
    , m_close(named(m_file->addAction(u"この画面を閉じる(&Q)"_s), u"m_close"_s))
    , m_serch(named(menuBar()->addMenu(u"検索(&S)"_s), u"m_serch"_s))
    , m_select(named(m_serch->addAction(u"日付選択(&C)"_s), u"m_select"_s))
    , m_sansyou(named(m_serch->addAction(u"参照(&D)"_s), u"m_sansyou"_s))
    , m_reset(named(m_serch->addAction(u"日付のリセット(&R)"_s), u"m_reset"_s))
    , m_prompter(prompter)
    , m_chooser(chooser)
    , m_model(new core::LogTableModel(this))
    , m_loader(new core::LogLoader(this))
    , m_progressTimer(new QTimer(this))
    , m_statusPanel(named(new QLabel, u"StatusBar1Panel"_s))
{
    setObjectName(u"tavik_log"_s);
    setWindowTitle(u"過去に送信したデータ参照"_s);
    widgets::applyProgramIcon(this);

    auto* client = new QWidget;
    client->setObjectName(u"client"_s);
    setCentralWidget(client);
    client->installEventFilter(this);

    const auto place = [client](QWidget* control, int left, int top, int width, int height) {
        control->setParent(client);
        control->setGeometry(twipsRect(left, top, width, height));
    };
    place(CmdCalselect, 1800, 0, 975, 255);
    place(Text1, 2880, 0, 615, 270);
    place(Label2, 3500, 50, 255, 255);
    place(Text2, 3720, 0, 375, 270);
    place(Label3, 4100, 50, 255, 255);
    place(Text3, 4320, 0, 375, 270);
    place(Label1, 4700, 50, 1815, 255);
    place(CmdLoadlogdata, 6480, 0, 855, 255);
    place(Command1, 7560, 0, 1335, 255);
    place(MSFlexGrid1, 120, 360, 8775, 5055);
    QWidget* const tabOrder[] = {CmdCalselect, Text1, Text2, Text3, CmdLoadlogdata, Command1, MSFlexGrid1};
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);

    setUpLogGrid(MSFlexGrid1, m_model);
    prepareGrid();

    auto* status = new QStatusBar;
    status->setObjectName(u"StatusBar1"_s);
    status->setSizeGripEnabled(true);
    status->addPermanentWidget(m_statusPanel, 1);
    setStatusBar(status);

    connect(m_loader, &core::LogLoader::finished, this, &tavik_log::showLoaded);
    // A file of more than a million records reaches the grid in steps; its record may come later.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &tavik_log::selectRecordToSelect);
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this,
            [this] { showStatus(m_statusPanel, u"読み込み中… %1%"_s.arg(m_loader->percent())); });
    connect(m_load, &QAction::triggered, this, &tavik_log::m_load_Click);
    connect(m_close, &QAction::triggered, this, &tavik_log::m_close_Click);
    connect(m_select, &QAction::triggered, this, &tavik_log::m_select_Click);
    connect(m_sansyou, &QAction::triggered, this, &tavik_log::m_sansyou_Click);
    connect(m_reset, &QAction::triggered, this, &tavik_log::m_reset_Click);
    connect(CmdCalselect, &QPushButton::clicked, this, &tavik_log::CmdCalselect_Click);
    connect(CmdLoadlogdata, &QPushButton::clicked, this, &tavik_log::CmdLoadlogdata_Click);
    connect(Command1, &QPushButton::clicked, this, &tavik_log::Command1_Click);

    describeLogViewerControls(*this, client, status, m_statusPanel);
    showStatus(m_statusPanel, QString());

    // The design client area: the window below the menu bar and above the status bar.
    resize(px(9045), px(5550) + menuBar()->sizeHint().height() + status->sizeHint().height());
}

tavik_log::~tavik_log()
{
    delete m_dateDialog.data();
}

frmCalender* tavik_log::dateDialog() const
{
    return m_dateDialog;
}

QString tavik_log::statusText() const
{
    return m_statusPanel->text();
}

void tavik_log::showRecord(const QString& path, qsizetype record)
{
    prepareGrid();
    loadFile(path);
    m_recordToSelect = record;
}

void tavik_log::Form_Load()
{
    m_load_Click();
}

void tavik_log::m_load_Click()
{
    prepareGrid();
    chooseAndLoad(QString());
}

void tavik_log::CmdLoadlogdata_Click()
{
    prepareGrid();
    chooseAndLoad(Text1->text() + Text2->text() + Text3->text());
}

void tavik_log::m_sansyou_Click()
{
    CmdLoadlogdata_Click();
}

void tavik_log::CmdCalselect_Click()
{
    if (!m_dateDialog) {
        m_dateDialog = new frmCalender(this);
        connect(m_dateDialog, &frmCalender::dateChosen, this, &tavik_log::fillDateFields);
    }
    m_dateDialog->show();
    m_dateDialog->raise();
    m_dateDialog->activateWindow();
}

void tavik_log::fillDateFields(QDate date)
{
    const core::DateFieldTexts texts = core::dateFieldTexts(date);
    Text1->setText(texts.year);
    Text2->setText(texts.month);
    Text3->setText(texts.day);
}

void tavik_log::m_select_Click()
{
    CmdCalselect_Click();
}

void tavik_log::Command1_Click()
{
    Text1->clear();
    Text2->clear();
    Text3->clear();
}

void tavik_log::m_reset_Click()
{
    Command1_Click();
}

void tavik_log::m_close_Click()
{
    close();
}

void tavik_log::prepareGrid()
{
    for (int column = 0; column < core::LogTableModel::ColumnCount; ++column)
        MSFlexGrid1->setColumnWidth(column, px(ColumnWidths[column]));
    // The designed width cuts the time off "2002/10/18 19:05:03" in the grid's font: the column
    // is as wide as the longest date-time text needs, where that is wider.
    const QString longestDateTime = widgets::withWidestDigits(u"0000/00/00 00:00:00"_s, MSFlexGrid1->fontMetrics());
    MSFlexGrid1->setColumnWidth(DateTimeColumn, std::max(px(ColumnWidths[DateTimeColumn]),
                                                         widgets::cellWidthFor(*MSFlexGrid1, longestDateTime)));
    MSFlexGrid1->setColumnHidden(0, true);
}

void tavik_log::chooseAndLoad(const QString& datePrefix)
{
    widgets::OpenFileRequest request;
    request.filter = core::logFilterList(datePrefix);
    request.filterIndex = 2;
    request.initialFolder = common::programFolder() + u"/log"_s;
    // Before the first showing the window is hidden; the dialog then stands on its own.
    const QString path = m_chooser.chooseFileToOpen(isVisible() ? this : nullptr, request);
    if (path.isEmpty())
        return;
    loadFile(path);
    m_recordToSelect = -1;
}

bool tavik_log::isLoading() const
{
    return m_loader->isRunning();
}

void tavik_log::loadFile(const QString& path)
{
    // The file is read on a worker thread: the chat's window, in the same event loop, keeps
    // receiving while a large file loads. The grid keeps the previous file until then.
    if (!m_loader->isRunning())
        m_statusBeforeLoad = m_statusPanel->text();
    m_loader->start(path);
    showStatus(m_statusPanel, u"読み込み中… 0%"_s);
    m_progressTimer->start();
}

void tavik_log::showLoaded()
{
    m_progressTimer->stop();
    const QString path = m_loader->path();
    core::LogReadResult result = m_loader->takeResult();
    if (!result.ok()) {
        // The grid still shows the previous file; so does the status bar again.
        showStatus(m_statusPanel, m_statusBeforeLoad);
        widgets::PromptRequest request;
        request.title = QString::fromUtf16(common::program::ApplicationTitle);
        request.text = u"ログファイルを開けませんでした。\n\n"_s + path + u'\n' + widgets::errorText(result.status);
        request.icon = widgets::PromptIcon::Warning;
        m_recordToSelect = -1;
        m_prompter.prompt(isVisible() ? this : nullptr, request);
        Q_EMIT loadFinished();
        return;
    }
    const qsizetype records = result.table.rowCount();
    m_model->setTable(std::move(result.table));
    m_skippedLines = result.skippedLines;
    QString text = u"%1 件"_s.arg(records);
    if (result.skippedLines > 0)
        text += u'（' + skippedLinesText(result.skippedLines) + u'）';
    showStatus(m_statusPanel, text);
    selectRecordToSelect();
    Q_EMIT loadFinished();
}

void tavik_log::selectRecordToSelect()
{
    if (m_recordToSelect < 0 || m_recordToSelect >= m_model->rowCount() || m_loader->isRunning())
        return;
    const int row = static_cast<int>(std::exchange(m_recordToSelect, -1));
    const QModelIndex cell = m_model->index(row, 1);
    MSFlexGrid1->setCurrentIndex(cell);
    MSFlexGrid1->selectRow(row);
    MSFlexGrid1->scrollTo(cell, QAbstractItemView::PositionAtCenter);
}

void tavik_log::Form_Resize()
{
    // The window system may shrink the window below its minimum; it is then set back.
    widgets::keepOuterMinimum(this, QSize(px(MinimumOuterWidth), px(MinimumOuterHeight)));
    if (!isMinimized())
        layoutControls();
}

void tavik_log::layoutControls()
{
    const QWidget* client = centralWidget();
    const int width = twips(client->width());
    const int height = twips(client->height());
    // Each step stands alone; one that would give a negative size is left out.
    if (width - 250 >= 0)
        MSFlexGrid1->resize(px(width - 250), MSFlexGrid1->height());
    if (height - 500 >= 0)
        MSFlexGrid1->resize(MSFlexGrid1->width(), px(height - 500));
    if (width - 1500 >= 0)
        Command1->move(px(width - 1500), Command1->y());
    if (width - 2400 >= 0)
        CmdLoadlogdata->move(px(width - 2400), CmdLoadlogdata->y());
}

void tavik_log::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

bool tavik_log::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        layoutControls();
    return QMainWindow::eventFilter(watched, event);
}

void tavik_log::closeEvent(QCloseEvent* event)
{
    // The date dialog writes into this window; it must not outlive it.
    if (m_dateDialog)
        m_dateDialog->close();
    QMainWindow::closeEvent(event);
}

tavik_log* makeLogViewer(widgets::Prompter& prompter, widgets::FileChooser& chooser)
{
    auto* viewer = new tavik_log(prompter, chooser);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->Form_Load();
    return viewer;
}

} // namespace history::ui
