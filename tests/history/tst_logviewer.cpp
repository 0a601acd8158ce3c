#include "history/core/journal.h"
#include "history/core/logtablemodel.h"
#include "history/core/logwriter.h"
#include "history/core/searchresultmodel.h"
#include "history/ui/exitlog.h"
#include "history/ui/frmcalender.h"
#include "history/ui/journalrecovery.h"
#include "history/ui/logsearchwindow.h"
#include "history/ui/logviewerslot.h"
#include "history/ui/tavik_log.h"

#include "common/programfolder.h"
#include "common/twips.h"
#include "scriptedfilechooser.h"
#include "support/accessibility.h"
#include "support/scriptedprompter.h"
#include "widgets/errortext.h"
#include "widgets/filechooser.h"
#include "widgets/japaneseenvironment.h"
#include "widgets/singlewindow.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
namespace core = history::core;
using common::px;
using common::twips;

namespace {

const QString AllTextFiles = u"すべてのファイル (*.*)|*.*|テキストファイル (*.txt)|*.txt|"_s;

// A file loads on a worker thread; the grid shows it once the event loop has taken the result.
bool loaded(const history::ui::tavik_log& viewer)
{
    return QTest::qWaitFor([&] { return !viewer.isLoading(); });
}

} // namespace

class TestLogViewer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(bytes);
        return file.fileName();
    }

    QString logOf(int records)
    {
        QList<common::LogLine> lines;
        for (int i = 1; i <= records; ++i)
            lines << common::LogLine{u"PCA"_s, u"PCB"_s, u"メッセージ%1"_s.arg(i),
                                     u"2002/10/18 9:05:%1"_s.arg(i, 2, 10, QChar(u'0'))};
        return writeFile(u"log%1.txt"_s.arg(records), history::core::encodeLog(lines));
    }

private Q_SLOTS:
    // As the program starts: Qt's texts in Japanese, the design font as the application font.
    void initTestCase()
    {
        QVERIFY(widgets::applyJapaneseEnvironment(*qApp));
        // The file dialog keeps its column widths in the user's Qt settings; the tests start afresh.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(u"config"_s)));
    }

    void cleanup()
    {
        // Each test closes what it opened; nothing may be left on the screen.
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void exitAsksWhenLogCannotBeSaved()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"log"_s);
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QList<common::LogLine> lines = {{u"A"_s, u"B"_s, u"x"_s, u"T"_s}};
        const QDateTime exitTime(QDate(2003, 3, 5), QTime(7, 4, 9));
        const auto writeTo = [&](const QString& target) {
            return [&lines, &exitTime, target] { return history::core::writeLog(lines, exitTime, target); };
        };

        testsupport::ScriptedPrompter prompter;
        prompter.answerNext(widgets::PromptAnswer::No);
        prompter.answerNext(widgets::PromptAnswer::Yes);
        QVERIFY(!history::ui::saveLogBeforeExit(nullptr, prompter, writeTo(folder)));
        QVERIFY(history::ui::saveLogBeforeExit(nullptr, prompter, writeTo(folder)));
        QCOMPARE(prompter.requests.size(), 2);
        const widgets::PromptRequest& box = prompter.requests.constFirst();
        QCOMPARE(box.title, u"taviklight"_s);
        QCOMPARE(box.icon, widgets::PromptIcon::Critical);
        QCOMPARE(box.buttons, widgets::PromptButtons::YesNo);
        QCOMPARE(box.defaultAnswer, widgets::PromptAnswer::No);
        QVERIFY(box.text.startsWith(u"ログファイルを保存できませんでした。"_s));
        QCOMPARE(box.text, u"ログファイルを保存できませんでした。\n\n"_s + dir.filePath(u"log/20030305070409.txt"_s) +
                               u"\nパスの途中にフォルダではないものがあります。\n\nログを保存せずに終了しますか？"_s);

        // Written, or nothing to write: no question, the exit goes on.
        const QString good = dir.filePath(u"good"_s);
        QVERIFY(history::ui::saveLogBeforeExit(nullptr, prompter, writeTo(good)));
        QVERIFY(QFile::exists(good + u"/20030305070409.txt"_s));
        QVERIFY(history::ui::saveLogBeforeExit(nullptr, prompter, [] { return history::core::LogWriteResult{}; }));
        QCOMPARE(prompter.requests.size(), 2);
    }

    // Every failure the history shows is worded in one table, the texts of the boxes among them.
    void errorTexts_data()
    {
        QTest::addColumn<common::Status>("status");
        QTest::addColumn<QString>("text");
        using Code = common::Status::Code;
        QTest::newRow("ok") << common::Status() << QString();
        QTest::newRow("disk full") << common::Status::fromErrno(ENOSPC, u"/log"_s)
                                   << u"ディスクの空き領域が足りません。"_s;
        QTest::newRow("unknown errno") << common::Status::fromErrno(9999) << u"システムエラー（番号 9999）"_s;
        QTest::newRow("over the file limit") << common::Status::failure(Code::TooLarge, {}, EFBIG)
                                             << u"ファイルが大きすぎます（1 GB まで読み込めます）。"_s;
        QTest::newRow("over the memory budget")
            << common::Status::failure(Code::TooLarge, {}, ENOMEM)
            << u"メモリが足りないため、このファイルを読み込めません。記録が多すぎるか、ログファイルではないファイルです。"_s;
        QTest::newRow("datagram over its size")
            << common::Status::failure(Code::TooLarge, u"70000"_s)
            << u"メッセージが長すぎます（70000バイト、1回で送れるのは65507バイトまで）。"_s;
    }
    void errorTexts()
    {
        QFETCH(common::Status, status);
        QFETCH(QString, text);
        QCOMPARE(widgets::errorText(status), text);
    }

    void everySystemErrorIsJapanese()
    {
        for (const int error : {ELOOP,   ENAMETOOLONG, EROFS,  EMFILE,  ENFILE, EIO,       ENOSPC, EDQUOT,
                                EACCES,  EPERM,        ENOENT, ENOTDIR, EISDIR, EEXIST,    EXDEV,  EFBIG,
                                ETXTBSY, ENOMEM,       EBUSY,  EINVAL,  ESTALE, EOVERFLOW, EAGAIN, ENOTSUP}) {
            const QString text = widgets::errorText(common::Status::fromErrno(error));
            QVERIFY2(!text.startsWith(u"システムエラー"_s) && !text.contains(QRegularExpression(u"[A-Za-z]"_s)),
                     qPrintable(text));
        }
    }

    void recoveredConversationIsToldInOneBox()
    {
        QTemporaryDir dir;
        testsupport::ScriptedPrompter prompter;
        history::ui::recoverPreviousConversations(nullptr, prompter, dir.path());
        QVERIFY(prompter.requests.isEmpty()); // nothing to recover, nothing said

        const pid_t child = ::fork(); // a run that dies mid-conversation
        if (child == 0) {
            history::core::Journal journal(dir.path());
            journal.append({u"A"_s, u"B"_s, u"x"_s, u"T"_s});
            ::_exit(0);
        }
        QCOMPARE(::waitpid(child, nullptr, 0), child);
        history::ui::recoverPreviousConversations(nullptr, prompter, dir.path());
        QCOMPARE(prompter.requests.size(), 1);
        const widgets::PromptRequest& box = prompter.requests.constFirst();
        QCOMPARE(box.title, u"taviklight"_s);
        QCOMPARE(box.icon, widgets::PromptIcon::Information);
        const QStringList logs = QDir(dir.path()).entryList({u"*.txt"_s}, QDir::Files);
        QCOMPARE(logs.size(), 1);
        QCOMPARE(box.text, u"前回の会話を保存しました。\n\n"_s + dir.filePath(logs.at(0)));
        history::ui::recoverPreviousConversations(nullptr, prompter, dir.path());
        QCOMPARE(prompter.requests.size(), 1);
    }

    void designState()
    {
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        history::ui::tavik_log viewer(prompter, chooser);
        QCOMPARE(viewer.windowTitle(), u"過去に送信したデータ参照"_s);
        QCOMPARE(viewer.CmdCalselect->geometry(), common::twipsRect(1800, 0, 975, 255));
        QCOMPARE(viewer.Label1->text(), u"月内のログデータのみ"_s);
        QCOMPARE(viewer.Command1->geometry(), common::twipsRect(7560, 0, 1335, 255));
        QCOMPARE(viewer.MSFlexGrid1->geometry(), common::twipsRect(120, 360, 8775, 5055));
        QCOMPARE(viewer.m_file->title(), u"ファイル(&F)"_s);
        QCOMPARE(viewer.m_reset->text(), u"日付のリセット(&R)"_s);
        QVERIFY(viewer.m_spaser1->isSeparator());
        QCOMPARE(viewer.findChild<QLineEdit*>(u"Text2"_s), viewer.Text2);
        // Tab order from the date button through the three fields to the two right-hand buttons.
        QWidget* expected[] = {viewer.Text1, viewer.Text2, viewer.Text3, viewer.CmdLoadlogdata, viewer.Command1};
        QWidget* at = viewer.CmdCalselect;
        for (QWidget* next : expected) {
            at = at->nextInFocusChain();
            while (at->focusPolicy() == Qt::NoFocus)
                at = at->nextInFocusChain();
            QCOMPARE(at, next);
        }
        // Column 0 is hidden; the others have the designed widths.
        QVERIFY(viewer.MSFlexGrid1->isColumnHidden(0));
        // The date-time column is at least as wide as designed, wider where its text needs it.
        const int widths[] = {1125, 1125, 1500, 4920};
        for (int column = 1; column <= 4; ++column) {
            if (column == 3)
                QVERIFY(viewer.MSFlexGrid1->columnWidth(column) >= px(widths[column - 1]));
            else
                QCOMPARE(viewer.MSFlexGrid1->columnWidth(column), px(widths[column - 1]));
        }
        // In the application's design font the fixed places hold their texts whole, whatever the
        // desktop's font size.
        const auto fits = [](const QFontMetrics& metrics, const QString& text, int width) {
            return metrics.horizontalAdvance(text) <= width;
        };
        QVERIFY(fits(viewer.Label1->fontMetrics(), viewer.Label1->text(), viewer.Label1->width()));
        const QHeaderView* heads = viewer.MSFlexGrid1->horizontalHeader();
        for (int column = 1; column <= 4; ++column) {
            const QString head = viewer.model()->headerData(column, Qt::Horizontal).toString();
            QVERIFY2(fits(heads->fontMetrics(), head, heads->sectionSize(column)), qPrintable(head));
        }
        QCOMPARE(viewer.model()->rowCount(), 4);

        // Shown: the design client area, and the first layout pass puts the right-hand buttons
        // at their distance from the right edge.
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        QCOMPARE(viewer.centralWidget()->size(), common::twipsSize(9045, 5550));
        QCOMPARE(viewer.Command1->x(), px(9045 - 1500));
        viewer.close();
    }

    void filterLists()
    {
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        history::ui::tavik_log viewer(prompter, chooser);
        viewer.Form_Load();
        viewer.Text1->setText(u"2002"_s);
        viewer.Text2->setText(u"10"_s);
        viewer.Text3->setText(u"18"_s);
        viewer.CmdLoadlogdata->click();
        viewer.Text3->clear();
        viewer.m_sansyou->trigger();
        viewer.m_reset->trigger();
        QVERIFY(viewer.Text1->text().isEmpty() && viewer.Text2->text().isEmpty());
        viewer.CmdLoadlogdata_Click();
        QVERIFY(loaded(viewer));
        viewer.m_load->trigger();

        const QStringList filters = {
            AllTextFiles,
            u"すべてのファイル (*.*)|*.*|テキストファイル (20021018*.txt)|20021018*.txt|"_s,
            u"すべてのファイル (*.*)|*.*|テキストファイル (200210*.txt)|200210*.txt|"_s,
            AllTextFiles,
            AllTextFiles,
        };
        QCOMPARE(chooser.requests.size(), filters.size());
        for (qsizetype i = 0; i < filters.size(); ++i) {
            QCOMPARE(chooser.requests.at(i).filter, filters.at(i));
            QCOMPARE(chooser.requests.at(i).filterIndex, 2);
            QCOMPARE(chooser.requests.at(i).initialFolder, common::programFolder() + u"/log"_s);
        }

        // The real dialog lists each description exactly once, in Japanese, the date-narrowed one
        // selected; the pattern it filters by stays out of sight. The file list's size and date
        // columns show their Japanese texts whole.
        QVERIFY(!writeFile(u"20021018091500.txt"_s, QByteArray(29, 'x')).isEmpty());
        QStringList shown;
        QString selected;
        QString typeLabel;
        QString folder;
        QStringList cutColumns;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            const auto* files = dialog ? dialog->findChild<QAbstractItemView*>(u"treeView"_s) : nullptr;
            if (!files || files->model()->rowCount(files->rootIndex()) == 0)
                return; // the folder is read in the background
            poll.stop();
            for (const int column : {1, 3}) {
                const int width = qobject_cast<const QTreeView*>(files)->header()->sectionSize(column);
                if (width < files->sizeHintForColumn(column))
                    cutColumns << files->model()->index(0, column, files->rootIndex()).data().toString();
            }
            const auto* types = dialog->findChild<QComboBox*>(u"fileTypeCombo"_s);
            for (int i = 0; types && i < types->count(); ++i)
                shown << types->itemText(i);
            selected = types ? types->currentText() : QString();
            const auto* label = dialog->findChild<QLabel*>(u"fileTypeLabel"_s);
            typeLabel = label ? label->text() : QString();
            folder = dialog->directory().absolutePath();
            dialog->reject();
        });
        poll.start(10);
        widgets::OpenFileRequest request = chooser.requests.at(1);
        request.initialFolder = m_dir.path();
        widgets::DialogFileChooser real;
        QVERIFY(real.chooseFileToOpen(nullptr, request).isEmpty());
        QCOMPARE(shown, (QStringList{u"すべてのファイル (*.*)"_s, u"テキストファイル (20021018*.txt)"_s}));
        QCOMPARE(selected, u"テキストファイル (20021018*.txt)"_s);
        QCOMPARE(typeLabel, u"ファイルの種類:"_s);
        QCOMPARE(folder, QDir(m_dir.path()).absolutePath());
        QCOMPARE(cutColumns, QStringList());
    }

    void loadingReplacesRows()
    {
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        history::ui::tavik_log viewer(prompter, chooser);
        const QString ten = logOf(10);
        const QString two = logOf(2);
        const QString empty = writeFile(u"empty.txt"_s, {});
        chooser.paths << ten << two << QString() << empty;

        viewer.m_load_Click();
        QVERIFY(loaded(viewer));
        QCOMPARE(viewer.model()->rowCount(), 10);
        QCOMPARE(viewer.statusText(), u"10 件"_s);
        viewer.m_load_Click();
        QVERIFY(loaded(viewer));
        QCOMPARE(viewer.model()->rowCount(), 2);
        QCOMPARE(viewer.model()->cellText(1, 1), u"PCA"_s);
        QCOMPARE(viewer.model()->cellText(1, 2), u"PCB"_s);
        QCOMPARE(viewer.model()->cellText(1, 3), u"2002/10/18 9:05:02"_s);
        QCOMPARE(viewer.model()->cellText(1, 4), u"メッセージ2"_s);

        viewer.m_load_Click(); // cancelled: the grid keeps its rows
        QVERIFY(loaded(viewer));
        QCOMPARE(viewer.model()->rowCount(), 2);
        viewer.m_load_Click(); // a file without records shows none
        QVERIFY(loaded(viewer));
        QCOMPARE(viewer.model()->rowCount(), 0);
        QVERIFY(prompter.requests.isEmpty());
    }

    void everyControlCanBeAnnounced()
    {
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        history::ui::tavik_log viewer(prompter, chooser);
        viewer.show();
        QCOMPARE(testsupport::controlsWithoutAccessibleText(&viewer), QStringList());
        viewer.CmdCalselect->click();
        QPointer<history::ui::frmCalender> dialog = viewer.dateDialog();
        QVERIFY(dialog);
        QCOMPARE(testsupport::controlsWithoutAccessibleText(dialog), QStringList());

        // The status panel's name carries what it shows, or a screen reader would not say it.
        chooser.paths << logOf(3);
        viewer.m_load_Click();
        QVERIFY(loaded(viewer));
        QAccessibleInterface* panel =
            QAccessible::queryAccessibleInterface(viewer.findChild<QLabel*>(u"StatusBar1Panel"_s));
        QVERIFY(panel);
        QVERIFY(panel->text(QAccessible::Name).contains(u"3 件"_s));
        viewer.close();
        QTRY_VERIFY(dialog.isNull());
    }

    void badFiles()
    {
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        history::ui::tavik_log viewer(prompter, chooser);
        chooser.paths << logOf(3) << m_dir.filePath(u"missing.txt"_s)
                      << writeFile(u"mixed.txt"_s, "\"A\",\"B\",\"m\",\"T\"\r\njunk\r\n\r\n");
        viewer.m_load_Click();
        QVERIFY(loaded(viewer));
        viewer.m_load_Click();
        QVERIFY(loaded(viewer));
        QCOMPARE(prompter.requests.size(), 1);
        QCOMPARE(prompter.requests.at(0).title, u"taviklight"_s);
        QCOMPARE(prompter.requests.at(0).icon, widgets::PromptIcon::Warning);
        QVERIFY(prompter.requests.at(0).text.contains(m_dir.filePath(u"missing.txt"_s)));
        QCOMPARE(viewer.model()->rowCount(), 3);

        viewer.m_load_Click();
        QVERIFY(loaded(viewer));
        QCOMPARE(viewer.model()->rowCount(), 1);
        QVERIFY(viewer.statusText().contains(u"2 行"_s));
    }

    void dateTimeShowsWhole_data()
    {
        QTest::addColumn<QString>("dateTime");
        QTest::newRow("two-digit hour") << u"2002/10/18 19:05:03"_s;
        QTest::newRow("one-digit hour") << u"2002/10/18 9:05:03"_s;
        QTest::newRow("widest digits") << u"2008/08/28 08:58:48"_s;
        QTest::newRow("midnight, the date alone") << u"2002/10/18"_s;
    }
    void dateTimeShowsWhole()
    {
        QFETCH(QString, dateTime);
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        history::ui::tavik_log viewer(prompter, chooser);
        chooser.paths << writeFile(u"time.txt"_s, history::core::encodeLog({{u"PCA"_s, u"PCB"_s, u"x"_s, dateTime}}));
        viewer.m_load_Click();
        QVERIFY(loaded(viewer));
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        QCOMPARE(viewer.model()->cellText(0, 3), dateTime);
        // What the grid itself finds the column's texts need, at the window's design size.
        const QAbstractItemView* grid = viewer.MSFlexGrid1;
        QVERIFY2(viewer.MSFlexGrid1->columnWidth(3) >= grid->sizeHintForColumn(3),
                 qPrintable(u"%1 < %2"_s.arg(viewer.MSFlexGrid1->columnWidth(3)).arg(grid->sizeHintForColumn(3))));
        viewer.close();
    }

    void resizeKeepsMinimumAndFollowsEdges()
    {
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        history::ui::tavik_log viewer(prompter, chooser);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        viewer.resize(px(5000), px(1000));
        QTRY_VERIFY(viewer.frameGeometry().width() >= px(9000));
        QVERIFY(viewer.frameGeometry().height() >= px(2000));
        // The window system may shrink it past its minimum; it snaps back.
        viewer.windowHandle()->resize(300, 100);
        QCoreApplication::processEvents(); // the window system's new size reaches the widget
        QTRY_VERIFY(viewer.frameGeometry().width() >= px(9000));
        QTRY_VERIFY(viewer.frameGeometry().height() >= px(2000));

        viewer.resize(px(12000), px(8000));
        QTRY_COMPARE(viewer.width(), px(12000));
        const QWidget* client = viewer.centralWidget();
        QTRY_COMPARE(viewer.MSFlexGrid1->width(), px(twips(client->width()) - 250));
        QCOMPARE(viewer.MSFlexGrid1->height(), px(twips(client->height()) - 500));
        QCOMPARE(viewer.MSFlexGrid1->pos(), common::twipsPoint(120, 360));
        QCOMPARE(viewer.Command1->x(), px(twips(client->width()) - 1500));
        QCOMPARE(viewer.CmdLoadlogdata->x(), px(twips(client->width()) - 2400));
        viewer.close();
    }

    void dateDialogWritesFields_data()
    {
        QTest::addColumn<QDate>("picked");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("single digits") << QDate(2003, 3, 5) << QStringList{u"2003"_s, u"03"_s, u"05"_s};
        QTest::newRow("two digits") << QDate(2002, 11, 12) << QStringList{u"2002"_s, u"11"_s, u"12"_s};
        QTest::newRow("untouched") << QDate() << QStringList{u"2002"_s, u"08"_s, u"26"_s};
    }
    void dateDialogWritesFields()
    {
        QFETCH(QDate, picked);
        QFETCH(QStringList, fields);
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        history::ui::tavik_log viewer(prompter, chooser);
        viewer.show();
        viewer.CmdCalselect->click();
        QPointer<history::ui::frmCalender> dialog = viewer.dateDialog();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), u"日付選択ダイアログ"_s);
        QCOMPARE(dialog->CancelButton->text(), u"ｷｬﾝｾﾙ"_s);
        QCOMPARE(dialog->Calendar1->selectedDate(), QDate(2002, 8, 26));
        // The whole calendar, its last row included, lies within the dialog, and Japanese.
        QVERIFY(dialog->rect().contains(dialog->Calendar1->geometry()));
        QVERIFY(dialog->Calendar1->height() >= dialog->Calendar1->minimumSizeHint().height());
        QCOMPARE(dialog->Calendar1->locale().language(), QLocale::Japanese);
        viewer.m_select->trigger();
        QCOMPARE(viewer.dateDialog(), dialog.data()); // one dialog per viewer
        if (picked.isValid())
            dialog->Calendar1->setSelectedDate(picked);
        dialog->OKButton->click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE((QStringList{viewer.Text1->text(), viewer.Text2->text(), viewer.Text3->text()}), fields);

        chooser.paths << QString();
        viewer.CmdLoadlogdata->click();
        QCOMPARE(chooser.requests.constLast().filter,
                 u"すべてのファイル (*.*)|*.*|テキストファイル (%1*.txt)|%1*.txt|"_s.arg(fields.join(QString())));
        viewer.close();
    }

    void dateDialogCancelAndClose()
    {
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        history::ui::tavik_log viewer(prompter, chooser);
        viewer.show();
        viewer.Text1->setText(u"1999"_s);
        viewer.m_select->trigger();
        QPointer<history::ui::frmCalender> dialog = viewer.dateDialog();
        dialog->Calendar1->setSelectedDate(QDate(2003, 3, 5));
        dialog->CancelButton->click();
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(viewer.Text1->text(), u"1999"_s);
        QVERIFY(viewer.Text2->text().isEmpty());

        // The dialog never outlives its viewer, so OK cannot write into a closed one.
        viewer.CmdCalselect_Click();
        dialog = viewer.dateDialog();
        QVERIFY(dialog && dialog->Calendar1->selectedDate() == QDate(2002, 8, 26));
        viewer.m_close->trigger();
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(!viewer.isVisible());
    }

    void oneViewerLoadedBeforeShown()
    {
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        QPointer<history::ui::tavik_log> slot;
        widgets::SingleWindow holder([&]() -> QWidget* {
            slot = history::ui::makeLogViewer(prompter, chooser);
            return slot;
        });
        bool shownDuringDialog = true;
        chooser.onChoose = [&] { shownDuringDialog = slot && slot->isVisible(); };
        chooser.paths << logOf(3);

        holder.show();
        history::ui::tavik_log* first = slot;
        QVERIFY(loaded(*first));
        QVERIFY(!shownDuringDialog);
        QVERIFY(first->isVisible());
        QCOMPARE(first->model()->rowCount(), 3);
        holder.show();
        QCOMPARE(holder.window(), first);
        QCOMPARE(chooser.requests.size(), 1);

        first->m_select->trigger();
        QPointer<history::ui::frmCalender> dialog = first->dateDialog();
        first->close();
        QTRY_VERIFY(slot.isNull());
        QVERIFY(dialog.isNull());

        // Opened again after closing: a fresh viewer, with the dialog first and the design rows.
        holder.show();
        history::ui::tavik_log* second = slot;
        QCOMPARE(chooser.requests.size(), 2);
        QCOMPARE(second->model()->rowCount(), 4);
        QVERIFY(second->Text1->text().isEmpty());
        second->close();
        QTRY_VERIFY(slot.isNull());
    }

    // The search window finds records across the log files of a folder, lists them with the
    // keyword marked, and opens the one chosen in the one log viewer with its row selected.
    void searchOpensRecordInViewer()
    {
        QTemporaryDir dir;
        const auto write = [&](const QString& name, const QList<common::LogLine>& lines) {
            QFile file(dir.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(history::core::encodeLog(lines)) > 0;
        };
        QVERIFY(write(u"20250301090000.txt"_s, {{u"PCA"_s, u"PCB"_s, u"おはよう"_s, u"2025/03/01 9:00:00"_s},
                                                {u"PCB"_s, u"PCA"_s, u"相手>ﾃｽﾄです"_s, u"2025/03/01 9:00:05"_s}}));
        QVERIFY(write(u"20250302090000_2.txt"_s, {{u"PCA"_s, u"PCB"_s, u"x"_s, u"2025/03/02 9:00:00"_s},
                                                  {u"PCA"_s, u"PCB"_s, u"y"_s, u"2025/03/02 9:00:01"_s},
                                                  {u"PCA"_s, u"PCB"_s, u"再テスト"_s, u"2025/03/02 9:00:02"_s}}));
        testsupport::ScriptedPrompter prompter;
        ScriptedFileChooser chooser;
        history::ui::LogViewerSlot viewers(prompter, chooser);
        QPointer<history::ui::LogSearchWindow> window = history::ui::makeLogSearchWindow(
            u"/nowhere"_s, chooser, [&](const QString& path, qsizetype record) { viewers.showRecord(path, record); });
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), u"ログの検索"_s);
        QCOMPARE(testsupport::controlsWithoutAccessibleText(window), QStringList());

        // The folder comes from the folder dialog; an empty keyword searches nothing.
        chooser.folders << dir.path();
        window->chooseFolder->click();
        QCOMPARE(chooser.folderRequests, QStringList{u"/nowhere"_s});
        QCOMPARE(QDir::fromNativeSeparators(window->folder->text()), dir.path());
        window->searchButton->click();
        QVERIFY(!window->isSearching());
        QCOMPARE(window->status->text(), u"キーワードを入れてください。"_s);

        window->keyword->setText(u"テスト"_s);
        QTest::keyClick(window->keyword, Qt::Key_Return);
        QSignalSpy finished(window.data(), &history::ui::LogSearchWindow::searchFinished);
        QVERIFY(finished.wait(10000));
        const core::SearchResultModel& model = *window->model();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0, core::SearchResultModel::DateTimeColumn).data().toString(), u"2025/03/01 9:00:05"_s);
        QCOMPARE(model.index(0, core::SearchResultModel::SenderColumn).data().toString(), u"PCB"_s);
        QCOMPARE(model.index(0, core::SearchResultModel::MessageColumn).data().toString(), u"相手>ﾃｽﾄです"_s);
        QCOMPARE(model.index(0, core::SearchResultModel::MessageColumn).data(core::SearchResultModel::MatchesRole),
                 QVariant::fromValue(QList<int>{3, 3}));
        QCOMPARE(model.index(1, core::SearchResultModel::FileColumn).data().toString(), u"20250302090000_2.txt"_s);
        QCOMPARE(window->status->text(), u"2 件見つかりました（ログファイル 2 個を検索）。"_s);

        // Enter on the second row opens its file in the viewer, that record selected.
        window->results->setFocus();
        window->results->setCurrentIndex(model.index(1, core::SearchResultModel::MessageColumn));
        QTest::keyClick(window->results, Qt::Key_Return);
        history::ui::tavik_log* viewer = viewers.viewer();
        QVERIFY(viewer && viewer->isVisible());
        QVERIFY(loaded(*viewer));
        QCOMPARE(viewer->model()->rowCount(), 3);
        QCOMPARE(viewer->MSFlexGrid1->currentIndex().row(), 2);
        QCOMPARE(viewer->MSFlexGrid1->selectionModel()->selectedRows(), QModelIndexList{viewer->model()->index(2, 0)});
        QVERIFY(chooser.requests.isEmpty()); // opened on the record, without the file dialog

        // A double-click on the first row shows it in the same viewer; the menu finds it open.
        const QRect first = window->results->visualRect(model.index(0, core::SearchResultModel::MessageColumn));
        // As the window system delivers one: a click, then the second click as a double-click.
        QTest::mouseClick(window->results->viewport(), Qt::LeftButton, {}, first.center());
        QTest::mouseDClick(window->results->viewport(), Qt::LeftButton, {}, first.center());
        QVERIFY(loaded(*viewer));
        QCOMPARE(viewers.viewer(), viewer);
        QCOMPARE(viewer->MSFlexGrid1->currentIndex().row(), 1);
        QCOMPARE(viewers.viewerForMenu(), viewer);
        QVERIFY(chooser.requests.isEmpty());

        // Days: only records of the days asked for; days the wrong way round are said, not searched.
        QVERIFY(!window->firstDay->isEnabled());
        window->withinDays->click();
        QVERIFY(window->firstDay->isEnabled() && window->lastDay->isEnabled());
        window->firstDay->setDate(QDate(2025, 3, 2));
        window->lastDay->setDate(QDate(2025, 3, 1));
        window->searchButton->click();
        QVERIFY(!window->isSearching());
        QCOMPARE(window->status->text(), u"期間の始めの日が終わりの日より後になっています。"_s);
        window->lastDay->setDate(QDate(2025, 3, 31));
        window->searchButton->click();
        QVERIFY(finished.wait(10000));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, core::SearchResultModel::FileColumn).data().toString(), u"20250302090000_2.txt"_s);
        window->withinDays->click();

        // A folder that cannot be listed is named with the reason.
        window->folder->setText(dir.filePath(u"missing"_s));
        window->searchButton->click();
        QVERIFY(finished.wait(10000));
        QCOMPARE(window->status->text(),
                 u"フォルダ %1 を開けませんでした。ファイルまたはフォルダが見つかりません。"_s.arg(
                     QDir::toNativeSeparators(dir.filePath(u"missing"_s))));
        QCOMPARE(model.rowCount(), 0);

        viewer->close();
        window->close();
        QTRY_VERIFY(window.isNull());
    }
};

QTEST_MAIN(TestLogViewer)
#include "tst_logviewer.moc"
