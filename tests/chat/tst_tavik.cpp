// The main window without a network: its design state, resize, close refusal, exit, the
// computer browser, the menu windows and the connect prompt.
#include "chat/core/appendlistmodel.h"
#include "chat/ui/connectioncheckwindow.h"
#include "common/twips.h"
#include "net/datagramsocket.h"
#include "support/accessibility.h"
#include "support/chatharness.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProxyStyle>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTest>
#include <QWindow>

using namespace Qt::StringLiterals;
using common::px;
using common::twipsRect;
using testsupport::ChatHarness;

namespace {

/// Notes the text of every list row the style draws or measures, so a test sees what is laid out.
class RowTextRecorder final : public QProxyStyle
{
public:
    mutable QStringList drawn;
    mutable QStringList measured;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (const auto* row = qstyleoption_cast<const QStyleOptionViewItem*>(option); row && element == CE_ItemViewItem)
            drawn.append(row->text);
        QProxyStyle::drawControl(element, option, painter, widget);
    }
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        if (const auto* row = qstyleoption_cast<const QStyleOptionViewItem*>(option); row && type == CT_ItemViewItem)
            measured.append(row->text);
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }
};

/// @p count characters cycling through CJK ideographs from @p first: a line of many different glyphs.
QString ideographs(qsizetype count, char16_t first = u'一')
{
    QString text;
    for (qsizetype i = 0; i < count; ++i)
        text += QChar(char16_t(first + i * 7 % 5000));
    return text;
}

} // namespace

class TestTavik final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ChatHarness> h;

    void showWindow()
    {
        h->make();
        h->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h->window.get()));
    }

    QWidget* client() const { return h->window->centralWidget(); }

    static QWidget* topLevel(const QString& name)
    {
        const QWidgetList windows = QApplication::topLevelWidgets();
        const auto found = std::find_if(windows.cbegin(), windows.cend(),
                                        [&name](const QWidget* window) { return window->objectName() == name; });
        return found == windows.cend() ? nullptr : *found;
    }

private Q_SLOTS:
    void init() { h = std::make_unique<ChatHarness>(); }

    void cleanup()
    {
        h.reset();
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void designState_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("text");
        QTest::newRow("Command4") << u"Command4"_s << twipsRect(1920, 360, 615, 255) << true << QString();
        QTest::newRow("List2") << u"List2"_s << twipsRect(960, 4080, 4455, 2220) << false << QString();
        QTest::newRow("Command3") << u"Command3"_s << twipsRect(120, 360, 975, 375) << false << u"切断"_s;
        QTest::newRow("Option2") << u"Option2"_s << twipsRect(4320, 360, 1335, 375) << true << u"PC2側"_s;
        QTest::newRow("Option1") << u"Option1"_s << twipsRect(3120, 360, 1215, 375) << true << u"PC1側"_s;
        QTest::newRow("Command1") << u"Command1"_s << twipsRect(6240, 360, 495, 495) << true << QString();
        QTest::newRow("Command2") << u"Command2"_s << twipsRect(6240, 960, 495, 495) << false << QString();
        QTest::newRow("Text2") << u"Text2"_s << twipsRect(120, 1080, 6015, 285) << false << QString();
        QTest::newRow("Text1") << u"Text1"_s << twipsRect(120, 360, 1815, 285) << true << QString();
        QTest::newRow("Line1") << u"Line1"_s << QRect(0, px(1560), px(7560), 1) << true << QString();
        QTest::newRow("Label3") << u"Label3"_s << twipsRect(120, 1680, 2775, 255) << true << u"送受信したデータ："_s;
        QTest::newRow("Label1") << u"Label1"_s << twipsRect(120, 120, 4935, 255) << true
                                << u"接続先PC名： 状態：未バインド"_s;
        QTest::newRow("Label2") << u"Label2"_s << twipsRect(120, 840, 2775, 255) << true << u"送信するデータ："_s;
    }
    void designState()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(bool, visible);
        QFETCH(QString, text);
        showWindow();
        auto* widget = client()->findChild<QWidget*>(name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(widget->geometry(), geometry);
        QCOMPARE(widget->isVisible(), visible);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            QCOMPARE(label->text(), text);
            QCOMPARE(label->textFormat(), Qt::PlainText);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            QCOMPARE(button->text(), text);
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            QCOMPARE(edit->text(), text);
        }
    }

    void windowStartsNotConnected()
    {
        showWindow();
        QCOMPARE(h->window->windowTitle(), u"Tavik Light  ver1.3"_s);
        QVERIFY(!h->window->windowIcon().isNull());
        QVERIFY(h->option(u"Option1")->isChecked());
        QVERIFY(!h->option(u"Option2")->isChecked());
        QVERIFY(h->option(u"Option1")->isEnabled() && h->option(u"Option2")->isEnabled());
        QCOMPARE(h->window->role(), chat::core::Role::PC1);
        QVERIFY(!h->window->messageSent());
        QVERIFY(h->window->messageBuffer().isEmpty());
        QCOMPARE(h->rowCount(u"List1"), 0);
        QCOMPARE(h->rowCount(u"List2"), 0);
        auto* socket = h->window->findChild<net::DatagramSocket*>(u"Winsock1"_s);
        QVERIFY(socket);
        QCOMPARE(socket->state(), 0);
        auto* panel = h->window->statusBar()->findChild<QLabel*>(u"StatusBar1Panel"_s);
        QCOMPARE(h->window->statusBar()->objectName(), u"StatusBar1"_s);
        QCOMPARE(panel->text(), u"未接続"_s);
        QVERIFY(!h->button(u"Command1")->icon().isNull());
        QVERIFY(!h->button(u"Command2")->icon().isNull());
        QVERIFY(!h->button(u"Command4")->icon().isNull());
        for (const char16_t* name :
             {u"Label1", u"Label2", u"Label3", u"Option1", u"Option2", u"Command3", u"Text1", u"Text2"}) {
            const QFont font = h->control<QWidget>(name)->font();
            QCOMPARE(font.family(), u"ＭＳ Ｐゴシック"_s);
            QCOMPARE(font.pointSizeF(), 9.75);
        }
    }

    void everyControlCanBeAnnounced()
    {
        showWindow();
        QCOMPARE(testsupport::controlsWithoutAccessibleText(h->window.get()), QStringList());
    }

    void menuHasItsNamesAndAccessKeys()
    {
        showWindow();
        const auto menu = [this](const char16_t* name) {
            return h->window->findChild<QMenu*>(QString::fromUtf16(name));
        };
        const auto item = [this](const char16_t* name) {
            return h->window->findChild<QAction*>(QString::fromUtf16(name));
        };
        QCOMPARE(menu(u"m_menu")->title(), u"メニュー(&M)"_s);
        QCOMPARE(menu(u"m_tool")->title(), u"ツール(&T)"_s);
        QCOMPARE(menu(u"m_help")->title(), u"ヘルプ(&H)"_s);
        QCOMPARE(menu(u"m_menu")->actions(), QList<QAction*>{item(u"m_exit")});
        // The design's items first; the additions follow them.
        QCOMPARE(menu(u"m_tool")->actions(), (QList<QAction*>{item(u"m_log"), item(u"m_check"), item(u"m_logsearch")}));
        QCOMPARE(menu(u"m_help")->actions(), (QList<QAction*>{item(u"m_use"), item(u"m_sp2"), item(u"m_version")}));
        QCOMPARE(item(u"m_exit")->text(), u"終了(&Q)"_s);
        QCOMPARE(item(u"m_log")->text(), u"過去ログの表示(&L)"_s);
        QCOMPARE(item(u"m_check")->text(), u"接続の確認(&C)..."_s);
        QCOMPARE(item(u"m_logsearch")->text(), u"ログの検索(&S)..."_s);
        QCOMPARE(item(u"m_use")->text(), u"使い方(&U)"_s);
        QVERIFY(item(u"m_sp2")->isSeparator());
        QCOMPARE(item(u"m_version")->text(), u"バージョン情報(&A)"_s);
        const QList<QAction*> top = h->window->menuBar()->actions();
        QCOMPARE(top.size(), 3);
        for (QAction* action : h->window->findChildren<QAction*>()) {
            QVERIFY(action->shortcut().isEmpty());
            QVERIFY(action->isEnabled() && !action->isChecked());
        }
    }

    void tabOrderAndStartFocus()
    {
        showWindow();
        QApplication::setActiveWindow(h->window.get());
        QVERIFY(QTest::qWaitForWindowActive(h->window.get()));
        QTRY_COMPARE(QApplication::focusWidget(), h->text(u"Text1"));
        QStringList visited;
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        // Hidden controls (Text2, Command2, Command3) are skipped; so is the unselected role option.
        QCOMPARE(visited, (QStringList{u"Option1"_s, u"Command1"_s, u"List1"_s, u"Command4"_s, u"Text1"_s}));
    }

    // The picture fills each picture button: the focus must still show on it.
    void pictureButtonsShowTheFocus_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("connect") << u"Command1"_s;
        QTest::newRow("send") << u"Command2"_s;
        QTest::newRow("browse") << u"Command4"_s;
    }
    void pictureButtonsShowTheFocus()
    {
        QFETCH(QString, name);
        showWindow();
        QApplication::setActiveWindow(h->window.get());
        QVERIFY(QTest::qWaitForWindowActive(h->window.get()));
        auto* button = client()->findChild<QPushButton*>(name);
        button->show();
        h->text(u"Text1")->setFocus();
        const QImage unfocused = button->grab().toImage();
        button->setFocus(Qt::TabFocusReason);
        QVERIFY(button->hasFocus());
        QVERIFY(button->grab().toImage() != unfocused);
    }

    void resizeKeepsMinimumAndStretchesList_data()
    {
        QTest::addColumn<int>("widthTwips");
        QTest::addColumn<int>("heightTwips");
        QTest::addColumn<int>("expectedWidthTwips");
        QTest::addColumn<int>("expectedHeightTwips");
        QTest::newRow("too small both ways") << 5000 << 2000 << 7000 << 3000;
        QTest::newRow("too low only") << 9000 << 2000 << 9000 << 3000;
        QTest::newRow("large") << 9000 << 8000 << 9000 << 8000;
    }
    void resizeKeepsMinimumAndStretchesList()
    {
        QFETCH(int, widthTwips);
        QFETCH(int, heightTwips);
        QFETCH(int, expectedWidthTwips);
        QFETCH(int, expectedHeightTwips);
        showWindow();
        const QSize frameExtra = h->window->frameGeometry().size() - h->window->size();
        h->window->resize(QSize(px(widthTwips), px(heightTwips)) - frameExtra);
        QTRY_COMPARE(h->window->frameGeometry().size(), QSize(px(expectedWidthTwips), px(expectedHeightTwips)));
        QListView* list = h->list(u"List1");
        QTRY_COMPARE(list->size(), QSize(client()->width() - px(250), client()->height() - px(2000)));
        QCOMPARE(list->pos(), QPoint(px(120), px(1920)));
        // The list ends above the status bar.
        QVERIFY(list->mapTo(h->window.get(), QPoint(0, list->height())).y() <= h->window->statusBar()->y());
        // A client area too low for the list's step leaves the list as high as it was, not at 0.
        const int before = list->height();
        client()->resize(client()->width(), px(1900));
        QCOMPARE(list->height(), before);
        QCOMPARE(list->width(), client()->width() - px(250));
    }

    void listFollowsNewLinesOnlyFromItsEnd()
    {
        showWindow();
        QListView* list = h->list(u"List1");
        auto* model = dynamic_cast<chat::core::DisplayLineModel*>(list->model());
        QVERIFY(model);
        qint64 now = 0; // what counts as a burst is decided here, not by the machine's speed
        model->setClock([&now] { return now; });
        QScrollBar* bar = list->verticalScrollBar();
        const auto lastRowInView = [&] {
            const QModelIndex last = model->index(model->rowCount() - 1, 0);
            return list->viewport()->rect().contains(list->visualRect(last));
        };
        // A burst (shown together) and then single lines (shown at once): the newest stays in view.
        for (int i = 0; i < 30; ++i)
            model->append(u"相手>%1"_s.arg(i));
        QTRY_COMPARE(model->rowCount(), 30);
        for (int i = 30; i < 40; ++i) {
            now += 2'000'000;
            model->append(u"相手>%1"_s.arg(i));
        }
        QTRY_COMPARE(model->rowCount(), 40);
        QVERIFY(bar->maximum() > 0); // more lines than the list can show
        QTRY_VERIFY(lastRowInView());
        QCOMPARE(bar->value(), bar->maximum());

        // Scrolled up to read: new lines do not pull the view away.
        bar->setValue(3);
        model->append(u"相手>while reading"_s);
        QTRY_COMPARE(model->rowCount(), 41);
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 3);
        QVERIFY(!lastRowInView());

        // Back at the end, it follows again.
        bar->setValue(bar->maximum());
        now += 2'000'000;
        model->append(u"相手>back at the end"_s);
        QTRY_COMPARE(model->rowCount(), 42);
        QTRY_VERIFY(lastRowInView());
    }

    // List1 lays out no more of a line than is in view, or for its size a screen's width; what is
    // in view looks exactly as with the whole line, unless the line is made of invisible characters.
    void list1LaysOutWhatCanBeSeen_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("looksAsBefore");
        QTest::newRow("short and Japanese") << QStringList{u"貴方>hello"_s, u"相手>こんにちは、元気ですか～"_s} << true;
        QTest::newRow("control pictures") << QStringList{u"相手>\u2400\u2401\u241B<U+202E>abc"_s} << true;
        QTest::newRow("long Latin last: scrolls sideways")
            << QStringList{u"相手>ok"_s, u"相手>"_s + QString(4000, u'a')} << true;
        QTest::newRow("long ideographs among short: cut at the view")
            << QStringList{u"相手>ok"_s, u"相手>"_s + ideographs(3997), u"貴方>ok"_s} << true;
        QTest::newRow("long ideographs last") << QStringList{u"相手>"_s + ideographs(3997, u'亜')} << true;
        QTest::newRow("narrow characters") << QStringList{u"相手>"_s + QString(3997, u'|'), u"ok"_s} << true;
        QTest::newRow("invisible characters") << QStringList{u"相手>"_s + QString(3997, QChar(0x200B))} << false;
    }
    void list1LaysOutWhatCanBeSeen()
    {
        QFETCH(QStringList, lines);
        QFETCH(bool, looksAsBefore);
        showWindow();
        QListView* list = h->list(u"List1");
        auto* model = dynamic_cast<chat::core::DisplayLineModel*>(list->model());
        QVERIFY(model);
        for (const QString& line : lines)
            model->append(line);
        QTRY_COMPARE(model->rowCount(), lines.size());
        RowTextRecorder recorder;
        list->setStyle(&recorder);
        const auto restoreStyle = qScopeGuard([list] { list->setStyle(nullptr); });
        list->doItemsLayout();
        const QImage bounded = list->viewport()->grab().toImage();

        // Drawn: half as much again as the view is wide; measured (the width the list scrolls
        // over): as the widest screen. A character or two more where the cut falls.
        int widestScreen = 0;
        for (const QScreen* screen : QGuiApplication::screens())
            widestScreen = std::max(widestScreen, screen->geometry().width());
        const QFontMetricsF metrics(list->font());
        const auto allWithin = [&](const QStringList& texts, qreal width) {
            return !texts.isEmpty() && std::all_of(texts.cbegin(), texts.cend(), [&](const QString& text) {
                return metrics.horizontalAdvance(text) <= 1.5 * width + 2 * metrics.maxWidth();
            });
        };
        QVERIFY(allWithin(recorder.drawn, list->viewport()->width()));
        QVERIFY(allWithin(recorder.measured, widestScreen));

        list->setItemDelegate(new QStyledItemDelegate(list)); // the whole line, as Qt lays it out
        list->doItemsLayout();
        const QImage whole = list->viewport()->grab().toImage();
        QCOMPARE(bounded == whole, looksAsBefore);
    }

    void startSizeIsTheDesignClientWidenedToTheMinimum()
    {
        showWindow();
        QTRY_COMPARE(client()->height(), px(6990));
        QVERIFY(h->window->frameGeometry().width() >= px(7000));
        QTRY_COMPARE(h->list(u"List1")->size(), QSize(client()->width() - px(250), px(6990 - 2000)));
    }

    void minimizeAndRestoreKeepTheList()
    {
        showWindow();
        h->window->showMinimized();
        QCoreApplication::processEvents();
        h->window->showNormal();
        QCoreApplication::processEvents();
        QTRY_COMPARE(h->list(u"List1")->size(), QSize(client()->width() - px(250), client()->height() - px(2000)));
        QVERIFY(h->prompter.requests.isEmpty());
    }

    void closeFromTheFrameIsRefusedSilently()
    {
        showWindow();
        QVERIFY(!h->window->close());
        QVERIFY(h->window->isVisible());
        QVERIFY(!h->window->windowHandle()->close()); // the platform's close request
        QVERIFY(h->window->isVisible());
        QVERIFY(h->prompter.requests.isEmpty());
    }

    void sessionEndAndSignalsCloseWithoutQuestion_data()
    {
        QTest::addColumn<chat::ui::CloseReason>("reason");
        QTest::newRow("session end") << chat::ui::CloseReason::SessionEnd;
        QTest::newRow("termination signal") << chat::ui::CloseReason::TaskEnd;
    }
    void sessionEndAndSignalsCloseWithoutQuestion()
    {
        QFETCH(chat::ui::CloseReason, reason);
        showWindow();
        h->window->endSession(reason);
        QVERIFY(!h->window->isVisible());
        QVERIFY(h->prompter.requests.isEmpty());
        QVERIFY(h->savedAtSessionEnd.isEmpty()); // no line was sent or received, so there is no log to save
        // The refusal holds again for a later frame close.
    }

    void exitQuestionNoLeavesEverything()
    {
        showWindow();
        h->text(u"Text1")->setText(u"PCB"_s);
        h->prompter.answerNext(widgets::PromptAnswer::No);
        h->window->findChild<QAction*>(u"m_exit"_s)->trigger();
        QCOMPARE(h->prompter.requests.size(), 1);
        const widgets::PromptRequest& box = h->prompter.last();
        QCOMPARE(box.title, u"システムの終了"_s);
        QCOMPARE(box.text, u"システムを終了してもよろしいでしょうか"_s);
        QCOMPARE(box.buttons, widgets::PromptButtons::YesNo);
        QCOMPARE(box.defaultAnswer, widgets::PromptAnswer::Yes);
        QCOMPARE(box.icon, widgets::PromptIcon::None);
        QVERIFY(h->window->isVisible());
        QCOMPARE(h->text(u"Text1")->text(), u"PCB"_s);
        QVERIFY(h->savedAtExit.isEmpty());
    }

    void exitYesWithoutSendingClosesWithoutLog()
    {
        showWindow();
        h->prompter.answerNext(widgets::PromptAnswer::Yes);
        h->window->findChild<QAction*>(u"m_exit"_s)->trigger();
        QVERIFY(!h->window->isVisible());
        QVERIFY(h->savedAtExit.isEmpty());
        // A frame close afterwards is refused again: the exit's reason does not linger.
    }

    void exitDuringSessionEndDoesNotCloseTwice()
    {
        showWindow();
        h->prompter.onPrompt = [this](const widgets::PromptRequest&) {
            h->window->endSession(chat::ui::CloseReason::SessionEnd);
        };
        h->prompter.answerNext(widgets::PromptAnswer::Yes);
        h->window->findChild<QAction*>(u"m_exit"_s)->trigger();
        QVERIFY(!h->window->isVisible());
        QVERIFY(h->savedAtExit.isEmpty());
    }

    void computerBrowserFillsTheName()
    {
        showWindow();
        QLineEdit* name = h->text(u"Text1");
        name->setText(u"old"_s);
        h->browser.chooseNext(std::nullopt);
        QTest::mouseClick(h->button(u"Command4"), Qt::LeftButton);
        QCOMPARE(name->text(), u"old"_s);
        QCOMPARE(h->browser.parents.size(), 1);
        QCOMPARE(h->browser.parents.first().data(), h->window.get());

        h->browser.chooseNext(u"PCB\0\0\0"_s);
        QTest::mouseClick(h->button(u"Command4"), Qt::LeftButton);
        QCOMPARE(name->text(), u"PCB"_s);

        h->browser.chooseNext(u" pc-c \0x"_s); // used as it comes, cut at the first NUL
        QTest::mouseClick(h->button(u"Command4"), Qt::LeftButton);
        QCOMPARE(name->text(), u" pc-c "_s);
    }

    void withoutBrowserTheButtonDoesNothing()
    {
        h->make([](chat::ui::ChatServices& services) { services.browser = nullptr; });
        h->window->show();
        h->text(u"Text1")->setText(u"old"_s);
        QTest::mouseClick(h->button(u"Command4"), Qt::LeftButton);
        QCOMPARE(h->text(u"Text1")->text(), u"old"_s);
        QVERIFY(h->prompter.requests.isEmpty());
    }

    void menuWindowsExistAtMostOnce()
    {
        int made = 0;
        int searches = 0;
        QPointer<QWidget> searchWindow;
        h->make([&made, &searches, &searchWindow](chat::ui::ChatServices& services) {
            services.makeLogViewer = [&made] {
                ++made;
                auto* viewer = new QWidget;
                viewer->setObjectName(u"tavik_log"_s);
                return viewer;
            };
            services.makeLogSearch = [&searches, &searchWindow] {
                ++searches;
                searchWindow = new QWidget;
                searchWindow->setAttribute(Qt::WA_DeleteOnClose);
                return searchWindow.data();
            };
        });
        h->window->show();
        QAction* log = h->window->findChild<QAction*>(u"m_log"_s);
        log->trigger();
        log->trigger();
        QCOMPARE(made, 1);
        QAction* search = h->window->findChild<QAction*>(u"m_logsearch"_s);
        search->trigger();
        search->trigger();
        QCOMPARE(searches, 1);
        QVERIFY(searchWindow && searchWindow->isVisible() && !searchWindow->parentWidget());
        QWidget* viewer = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == u"tavik_log"_s)
                viewer = widget;
        }
        QVERIFY(viewer && viewer->isVisible());
        QVERIFY(!viewer->parentWidget()); // no owner window

        // The viewer outlives the main window's exit.
        h->prompter.answerNext(widgets::PromptAnswer::Yes);
        h->window->findChild<QAction*>(u"m_exit"_s)->trigger();
        QVERIFY(!h->window->isVisible());
        QVERIFY(viewer->isVisible());
        viewer->close();
        searchWindow->close();

        // Help and About without a factory do nothing.
        h->window->findChild<QAction*>(u"m_use"_s)->trigger();
        h->window->findChild<QAction*>(u"m_version"_s)->trigger();
    }

    // The check runs for the name and role the window has at the moment; chosen again, it checks
    // again in the same window. The window lists what the copied report says, row for row.
    void connectionCheckFollowsTheMainWindow()
    {
        showWindow();
        h->text(u"Text1")->setText(u"127.0.0.1"_s);
        h->option(u"Option2")->setChecked(true);
        QAction* check = h->window->findChild<QAction*>(u"m_check"_s);
        check->trigger();
        auto* window = qobject_cast<chat::ui::ConnectionCheckWindow*>(topLevel(u"ConnectionCheckWindow"_s));
        QVERIFY(window && window->isVisible());
        QVERIFY(!window->parentWidget());
        auto* state = window->findChild<QLabel*>(u"checkState"_s);
        QTRY_VERIFY_WITH_TIMEOUT(state->text().startsWith(u"確認が終わりました"_s), 3500);

        window->findChild<QPushButton*>(u"copyReport"_s)->click();
        const QStringList report = QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(report, window->reportText().split(u'\n', Qt::SkipEmptyParts));
        QCOMPARE(report.size(), 1 + check::ItemCount);
        QVERIFY2(report.first().contains(u"127.0.0.1（PC2側）"_s), qPrintable(report.first()));
        auto* rows = window->findChild<QTableWidget*>(u"checkRows"_s);
        QCOMPARE(rows->rowCount(), check::ItemCount);
        for (int row = 0; row < check::ItemCount; ++row) {
            const QString shown = rows->item(row, 0)->text() + u' ' + rows->item(row, 1)->text() + u"："_s;
            QVERIFY2(report.at(row + 1).startsWith(shown), qPrintable(report.at(row + 1)));
            QVERIFY(report.at(row + 1).contains(rows->item(row, 2)->text().section(u'\n', 0, 0)));
        }
        QVERIFY(report.at(1 + int(check::Item::LocalPort)).contains(u"ポート1001/UDP"_s));

        h->text(u"Text1")->setText(u"pcb"_s);
        check->trigger();
        QCOMPARE(topLevel(u"ConnectionCheckWindow"_s), window);
        QTRY_VERIFY_WITH_TIMEOUT(window->reportText().startsWith(u"接続の確認　接続先：pcb（PC2側）"_s), 1000);

        // A pasted text as the name neither stretches the window nor fills its rows.
        h->text(u"Text1")->setText(QString(100'000, u'x'));
        check->trigger();
        QVERIFY(window->findChild<QLabel*>(u"checkPartner"_s)->text().size() <= check::MaxShownCharacters + 20);
        QVERIFY(window->minimumSizeHint().width() < 1500);
        window->close();
    }

    void connectWithEmptyNameOnlyPrompts()
    {
        showWindow();
        QTest::mouseClick(h->button(u"Command1"), Qt::LeftButton);
        QCOMPARE(h->prompter.requests.size(), 1);
        QCOMPARE(h->prompter.last().title, u"taviklight"_s);
        QCOMPARE(h->prompter.last().text, u"接続先PC名を入力して下さい"_s);
        QCOMPARE(h->prompter.last().icon, widgets::PromptIcon::None);
        QCOMPARE(h->window->findChild<net::DatagramSocket*>(u"Winsock1"_s)->state(), 0);
        QVERIFY(h->text(u"Text1")->isVisible());
        QVERIFY(!h->text(u"Text2")->isVisible());
        QVERIFY(h->messenger.sent.isEmpty());
    }
};

QTEST_MAIN(TestTavik)
#include "tst_tavik.moc"
