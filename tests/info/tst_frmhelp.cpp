#include "info/frmhelp.h"
#include "info/helpbrowser.h"
#include "support/accessibility.h"
#include "support/singlewindowshow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

using namespace Qt::StringLiterals;
using info::frmHelp;

namespace {

void writeFile(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(text.toUtf8());
}

QString indexPage(const QString& edition)
{
    return u"<html><head><meta charset=\"utf-8\"></head><body><p>%1</p>"
           u"<p><a href=\"second.html\">次のページ</a></p>"
           u"<p><a href=\"#far\">下の節</a></p>"
           u"<p><a href=\"http://tavik.invalid/news\">外のページ</a></p>"
           u"<p style=\"margin-top: 3000px\"><a name=\"far\"></a>下の節の本文</p></body></html>"_s.arg(edition);
}

/// Clicks the link whose text is @p text in @p browser.
void clickLink(QTextBrowser* browser, const QString& text)
{
    const QTextCursor found = browser->document()->find(text);
    QVERIFY2(!found.isNull(), qPrintable(text));
    QTextCursor inside(browser->document());
    inside.setPosition(found.selectionStart() + 1);
    const QPoint point = browser->cursorRect(inside).center();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, point);
}

} // namespace

/// Stands in for the desktop's web browser.
class UrlCatcher final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;
    Q_INVOKABLE void open(const QUrl& url) { opened.append(url); }
};

class TestFrmHelp final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void designLayout_data();
    void designLayout();
    void fixedDialogAtDesignPosition();
    void separatorIsEtched();
    void everyControlHasAccessibleText();

    void pagePathFollowsWorkingDirectory();
    void rootDirectoryKeepsDoubledSeparator();
    void missingPageShowsNoticeInView();
    void linksInsidePageOpenInView();
    void webLinksOpenInDesktopBrowser();

    void showingAgainDoesNotReload();
    void closedWindowIsLoadedAfresh();
    void showingRightAfterCloseMakesNewWindow();
    void enterClosesWindow();
    void escapeClosesWindowThroughButton();

private:
    QString m_previousDirectory;
    QTemporaryDir m_folder;
};

void TestFrmHelp::init()
{
    m_previousDirectory = QDir::currentPath();
    QVERIFY(m_folder.isValid());
    QDir(m_folder.path() + u"/help"_s).removeRecursively();
    writeFile(m_folder.path() + u"/help/index.html"_s, indexPage(u"初版"_s));
    writeFile(m_folder.path() + u"/help/second.html"_s, u"<html><body><p>二つ目のページ</p></body></html>"_s);
    QVERIFY(QDir::setCurrent(m_folder.path()));
}

void TestFrmHelp::cleanup()
{
    QDir::setCurrent(m_previousDirectory);
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->close();
    // Every window closed must be destroyed, not merely hidden.
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestFrmHelp::designLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    // Pixels of the design's twips (15 twips a pixel, rounded).
    QTest::newRow("cmdOK") << u"cmdOK"_s << QRect(352, 16, 92, 23) << u"閉じる"_s;
    QTest::newRow("picIcon") << u"picIcon"_s << QRect(8, 8, 32, 32) << QString();
    QTest::newRow("lblTitle") << u"lblTitle"_s << QRect(72, 16, 259, 24) << u"Tavik Light\u3000ヘルプ"_s;
    QTest::newRow("WebBrowser1") << u"WebBrowser1"_s << QRect(8, 56, 433, 465) << QString();
}

void TestFrmHelp::designLayout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    frmHelp window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QWidget* control = window.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), geometry);
    if (auto* button = qobject_cast<QPushButton*>(control))
        QCOMPARE(button->text(), text);
    if (auto* label = qobject_cast<QLabel*>(control); label && !text.isEmpty())
        QCOMPARE(label->text(), text);
    if (name == u"lblTitle"_s)
        QCOMPARE(control->font().pointSizeF(), 12.0);
}

void TestFrmHelp::fixedDialogAtDesignPosition()
{
    frmHelp window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QCOMPARE(window.windowTitle(), u"「Tavik Light」の使い方（簡易ヘルプ）"_s);
    QCOMPARE(window.size(), QSize(448, 529));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::MSWindowsFixedSizeDialogHint);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint screenOrigin = QGuiApplication::primaryScreen()->geometry().topLeft();
    QCOMPARE(window.geometry().topLeft(), screenOrigin + QPoint(156, 129));
}

void TestFrmHelp::separatorIsEtched()
{
    frmHelp window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    const QImage image = window.grab().toImage();
    // The palette's shadow and highlight, as the classic grey and white are in a light theme.
    const QRgb grey = window.palette().color(QPalette::Dark).rgb();
    const QRgb white = window.palette().color(QPalette::Light).rgb();
    QVERIFY(grey != white);
    // Grey over the upper row from x 8, white 2 rows high from x 7, both ending before x 440.
    QCOMPARE(image.pixel(8, 48), grey);
    QCOMPARE(image.pixel(439, 48), grey);
    QCOMPARE(image.pixel(7, 48), white);
    QCOMPARE(image.pixel(8, 49), white);
    QCOMPARE(image.pixel(439, 49), white);
    QVERIFY(image.pixel(440, 48) != grey);
    QVERIFY(image.pixel(200, 47) != grey && image.pixel(200, 47) != white);
}

void TestFrmHelp::everyControlHasAccessibleText()
{
    frmHelp window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    const QStringList gaps = testsupport::controlsWithoutAccessibleText(&window);
    QVERIFY2(gaps.isEmpty(), qPrintable(gaps.join(u"; "_s)));
}

void TestFrmHelp::pagePathFollowsWorkingDirectory()
{
    // The page is looked up under the working directory, not beside the test program.
    auto* window = new frmHelp;
    QCOMPARE(window->pagePath(), QDir::currentPath() + u"/help/index.html"_s);
    auto* view = window->findChild<QTextBrowser*>(u"WebBrowser1"_s);
    QCOMPARE(view->source(), QUrl::fromLocalFile(m_folder.path() + u"/help/index.html"_s));
    window->show();
    QVERIFY(view->toPlainText().contains(u"初版"_s));
}

void TestFrmHelp::rootDirectoryKeepsDoubledSeparator()
{
    QVERIFY(QDir::setCurrent(u"/"_s));
    auto* window = new frmHelp;
    QCOMPARE(window->pagePath(), u"//help/index.html"_s);
    auto* view = window->findChild<QTextBrowser*>(u"WebBrowser1"_s);
    QCOMPARE(view->source(), QUrl::fromLocalFile(u"/help/index.html"_s));
    QCOMPARE(view->source().toString(), u"file:///help/index.html"_s);
    if (!QFile::exists(u"/help/index.html"_s))
        QVERIFY(view->toPlainText().contains(u"/help/index.html"_s));
}

void TestFrmHelp::missingPageShowsNoticeInView()
{
    QVERIFY(QDir(m_folder.path() + u"/help"_s).removeRecursively());
    QPointer<frmHelp> window = new frmHelp;
    window->show();
    auto* view = window->findChild<QTextBrowser*>(u"WebBrowser1"_s);
    const QString expected = u"ヘルプのページ「%1/help/index.html」を開けませんでした。"_s.arg(m_folder.path());
    QCOMPARE(view->toPlainText().trimmed(), expected);
    QVERIFY(window->isVisible());
    window->findChild<QPushButton*>(u"cmdOK"_s)->click();
    QTRY_VERIFY(window.isNull());
}

void TestFrmHelp::linksInsidePageOpenInView()
{
    auto* window = new frmHelp;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto* view = window->findChild<QTextBrowser*>(u"WebBrowser1"_s);

    clickLink(view, u"下の節"_s);
    QTRY_COMPARE(view->source().fragment(), u"far"_s);
    QVERIFY(view->verticalScrollBar()->value() > 0);

    clickLink(view, u"次のページ"_s);
    QTRY_COMPARE(view->source(), QUrl::fromLocalFile(m_folder.path() + u"/help/second.html"_s));
    QVERIFY(view->toPlainText().contains(u"二つ目のページ"_s));
}

void TestFrmHelp::webLinksOpenInDesktopBrowser()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(u"http"_s, &catcher, "open");
    auto* window = new frmHelp;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto* view = window->findChild<QTextBrowser*>(u"WebBrowser1"_s);
    const QUrl page = view->source();
    clickLink(view, u"外のページ"_s);
    QDesktopServices::unsetUrlHandler(u"http"_s);
    QCOMPARE(catcher.opened, QList<QUrl>{QUrl(u"http://tavik.invalid/news"_s)});
    QCOMPARE(view->source(), page);
    QVERIFY(view->toPlainText().contains(u"初版"_s));
}

void TestFrmHelp::showingAgainDoesNotReload()
{
    widgets::SingleWindow single([] { return new frmHelp; });
    QPointer<frmHelp> holder;
    frmHelp* first = testsupport::showThrough(single, holder);
    auto* view = first->findChild<QTextBrowser*>(u"WebBrowser1"_s);
    QSignalSpy loads(view, &QTextBrowser::sourceChanged);
    writeFile(m_folder.path() + u"/help/index.html"_s, indexPage(u"第二版"_s));

    QCOMPARE(testsupport::showThrough(single, holder), first);
    QCOMPARE(loads.count(), 0);
    QVERIFY(view->toPlainText().contains(u"初版"_s));
    QCOMPARE(QApplication::topLevelWidgets().count(), 1);
}

void TestFrmHelp::closedWindowIsLoadedAfresh()
{
    widgets::SingleWindow single([] { return new frmHelp; });
    QPointer<frmHelp> holder;
    testsupport::showThrough(single, holder)->findChild<QPushButton*>(u"cmdOK"_s)->click();
    QTRY_VERIFY(holder.isNull());

    writeFile(m_folder.path() + u"/help/index.html"_s, indexPage(u"第二版"_s));
    frmHelp* again = testsupport::showThrough(single, holder);
    QVERIFY(again->isVisible());
    QVERIFY(again->findChild<QTextBrowser*>(u"WebBrowser1"_s)->toPlainText().contains(u"第二版"_s));
}

void TestFrmHelp::showingRightAfterCloseMakesNewWindow()
{
    // Closing only schedules the deletion; a showing before it happens must not revive the old window.
    widgets::SingleWindow single([] { return new frmHelp; });
    QPointer<frmHelp> holder;
    QPointer<frmHelp> closed = testsupport::showThrough(single, holder);
    closed->findChild<QPushButton*>(u"cmdOK"_s)->click();
    QVERIFY(!closed.isNull());
    frmHelp* again = testsupport::showThrough(single, holder);
    QVERIFY(again != closed.data());
    QTRY_VERIFY(closed.isNull());
    QVERIFY(!holder.isNull());
    QVERIFY(holder->isVisible());
}

void TestFrmHelp::enterClosesWindow()
{
    widgets::SingleWindow single([] { return new frmHelp; });
    QPointer<frmHelp> holder;
    testsupport::showThrough(single, holder);
    QVERIFY(QTest::qWaitForWindowActive(holder.data()));
    QCOMPARE(QApplication::focusWidget(), holder->findChild<QPushButton*>(u"cmdOK"_s));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(holder.isNull());
}

void TestFrmHelp::escapeClosesWindowThroughButton()
{
    widgets::SingleWindow single([] { return new frmHelp; });
    QPointer<frmHelp> holder;
    testsupport::showThrough(single, holder);
    QVERIFY(QTest::qWaitForWindowActive(holder.data()));
    auto* cmdOK = holder->findChild<QPushButton*>(u"cmdOK"_s);
    QSignalSpy clicks(cmdOK, &QPushButton::clicked);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(clicks.count(), 1);
    QTRY_VERIFY(holder.isNull());
}

QTEST_MAIN(TestFrmHelp)
#include "tst_frmhelp.moc"
