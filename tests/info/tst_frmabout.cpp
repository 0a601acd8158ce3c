#include "info/frmabout.h"
#include "support/accessibility.h"
#include "support/singlewindowshow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;
using info::frmAbout;

/// Stands in for the desktop's web browser.
class UrlCatcher final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;
    Q_INVOKABLE void open(const QUrl& url) { opened.append(url); }
};

class TestFrmAbout final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void labels_data();
    void labels();
    void fixedDialogAtDesignPosition();
    void versionIsFixedText();
    void separatorIsEtched();
    void everyControlHasAccessibleText();
    void clickingLabelsDoesNothing();
    void oneWindowAtMost();
    void enterAndEscapeClose_data();
    void enterAndEscapeClose();
};

void TestFrmAbout::cleanup()
{
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->close();
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestFrmAbout::labels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("centred");
    QTest::addColumn<qreal>("pointSize"); // 0: the window's font

    // Pixels of the design's twips (15 twips a pixel, rounded).
    QTest::newRow("lblDescription") << u"lblDescription"_s << QRect(64, 72, 259, 22)
                                    << u"© 2026 Tavik Light 開発チーム"_s << true << 0.0;
    QTest::newRow("lblDisclaimer") << u"lblDisclaimer"_s << QRect(8, 192, 258, 20) << u"フリーソフト版"_s << false
                                   << 11.25;
    QTest::newRow("lblTitle") << u"lblTitle"_s << QRect(70, 16, 259, 24) << u"Tavik Light"_s << true << 0.0;
    QTest::newRow("lblVersion") << u"lblVersion"_s << QRect(64, 40, 283, 15) << u"V1.3"_s << true << 0.0;
    QTest::newRow("Label1") << u"Label1"_s << QRect(64, 96, 273, 17) << u"作者：Tavik Light 開発チーム"_s << true
                            << 0.0;
    QTest::newRow("Label2") << u"Label2"_s << QRect(56, 120, 297, 25) << u"https://taviklight.example/"_s << true
                            << 0.0;
    QTest::newRow("Label3") << u"Label3"_s << QRect(8, 168, 225, 17) << u"ライセンス情報"_s << false << 11.25;
}

void TestFrmAbout::labels()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, centred);
    QFETCH(qreal, pointSize);
    frmAbout window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    auto* label = window.findChild<QLabel*>(name);
    QVERIFY(label);
    QCOMPARE(label->geometry(), geometry);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(bool(label->alignment() & Qt::AlignHCenter), centred);
    if (pointSize > 0) {
        QCOMPARE(label->font().pointSizeF(), pointSize);
        QCOMPARE(label->font().family(), u"ＭＳ Ｐゴシック"_s);
    } else {
        QCOMPARE(label->font(), window.font());
    }
}

void TestFrmAbout::fixedDialogAtDesignPosition()
{
    frmAbout window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QCOMPARE(window.windowTitle(), u"ﾊﾞｰｼﾞｮﾝ情報"_s);
    QCOMPARE(window.size(), QSize(382, 223));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(!(window.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    auto* cmdOK = window.findChild<QPushButton*>(u"cmdOK"_s);
    QCOMPARE(cmdOK->text(), u"OK"_s);
    QCOMPARE(cmdOK->geometry(), QRect(283, 192, 92, 23));
    QVERIFY(cmdOK->isDefault());
    QCOMPARE(window.findChild<QLabel*>(u"picIcon"_s)->geometry(), QRect(16, 16, 32, 32));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.geometry().topLeft(), QGuiApplication::primaryScreen()->geometry().topLeft() + QPoint(156, 129));
}

void TestFrmAbout::versionIsFixedText()
{
    // Whatever version the program carries, the window shows its own fixed text.
    QCoreApplication::setApplicationVersion(u"9.8.7"_s);
    frmAbout window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QCOMPARE(window.findChild<QLabel*>(u"lblVersion"_s)->text(), u"V1.3"_s);
    QCoreApplication::setApplicationVersion(QString());
}

void TestFrmAbout::separatorIsEtched()
{
    frmAbout window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    const QImage image = window.grab().toImage();
    // The palette's shadow and highlight, as the classic grey and white are in a light theme.
    const QRgb grey = window.palette().color(QPalette::Dark).rgb();
    const QRgb white = window.palette().color(QPalette::Light).rgb();
    QVERIFY(grey != white);
    // Grey over the upper row from x 6, white 2 rows high from x 7, both ending before x 377.
    QCOMPARE(image.pixel(6, 160), grey);
    QCOMPARE(image.pixel(376, 160), grey);
    QVERIFY(image.pixel(6, 161) != white);
    QCOMPARE(image.pixel(7, 161), white);
    QCOMPARE(image.pixel(376, 161), white);
    QVERIFY(image.pixel(377, 160) != grey);
}

void TestFrmAbout::everyControlHasAccessibleText()
{
    frmAbout window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    const QStringList gaps = testsupport::controlsWithoutAccessibleText(&window);
    QVERIFY2(gaps.isEmpty(), qPrintable(gaps.join(u"; "_s)));
}

void TestFrmAbout::clickingLabelsDoesNothing()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(u"https"_s, &catcher, "open");
    widgets::SingleWindow single([] { return new frmAbout; });
    QPointer<frmAbout> holder;
    testsupport::showThrough(single, holder);
    QVERIFY(QTest::qWaitForWindowExposed(holder.data()));
    const QList<QLabel*> labels = holder->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        const QString before = label->text();
        QTest::mouseClick(label, Qt::LeftButton);
        QTest::mouseDClick(label, Qt::LeftButton);
        QCOMPARE(label->text(), before);
        QVERIFY(!label->hasSelectedText());
    }
    QDesktopServices::unsetUrlHandler(u"https"_s);
    QVERIFY(catcher.opened.isEmpty());
    QVERIFY(!holder.isNull());
    QVERIFY(holder->isVisible());
}

void TestFrmAbout::oneWindowAtMost()
{
    widgets::SingleWindow single([] { return new frmAbout; });
    QPointer<frmAbout> holder;
    frmAbout* first = testsupport::showThrough(single, holder);
    QCOMPARE(testsupport::showThrough(single, holder), first);
    QCOMPARE(QApplication::topLevelWidgets().count(), 1);
}

void TestFrmAbout::enterAndEscapeClose_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TestFrmAbout::enterAndEscapeClose()
{
    QFETCH(int, key);
    widgets::SingleWindow single([] { return new frmAbout; });
    QPointer<frmAbout> holder;
    testsupport::showThrough(single, holder);
    QVERIFY(QTest::qWaitForWindowActive(holder.data()));
    auto* cmdOK = holder->findChild<QPushButton*>(u"cmdOK"_s);
    QCOMPARE(QApplication::focusWidget(), cmdOK);
    QSignalSpy clicks(cmdOK, &QPushButton::clicked);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QCOMPARE(clicks.count(), 1);
    QTRY_VERIFY(holder.isNull());
}

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
