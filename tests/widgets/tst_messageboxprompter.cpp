// The real message boxes: plain text, the requested icon and buttons in Japanese, and closing counts as No.
#include "widgets/prompter.h"

#include "widgets/inputmethodnotice.h"
#include "widgets/japaneseenvironment.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

/// Runs @p act on the message box once it is open (the box's exec() blocks the test meanwhile).
void whenBoxOpens(std::function<void(QMessageBox*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(box);
        }
    });
    timer->start();
}

} // namespace

class TestMessageBoxPrompter final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // As the programs start: Qt's own texts in Japanese whatever the test's locale.
    void initTestCase()
    {
        QVERIFY2(widgets::applyJapaneseEnvironment(*qApp), "Qt's Japanese translation (qt6-translations-l10n)");
        QCOMPARE(QLocale().language(), QLocale::Japanese);
    }

    void okBoxShowsPlainTextWithItsIcon()
    {
        QString title;
        QString text;
        Qt::TextFormat format = Qt::AutoText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenBoxOpens([&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            format = box->textFormat();
            icon = box->icon();
            box->defaultButton()->click();
        });
        widgets::MessageBoxPrompter prompter;
        const widgets::PromptAnswer answer =
            prompter.prompt(nullptr, {u"Alert"_s, u"<b>相手</b>\n二行目"_s, widgets::PromptIcon::Critical});
        QCOMPARE(answer, widgets::PromptAnswer::Ok);
        QCOMPARE(title, u"Alert"_s);
        QCOMPARE(text, u"<b>相手</b>\n二行目"_s);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(icon, QMessageBox::Critical);
    }

    void yesNoBoxHonoursTheDefaultAndEscapeMeansNo_data()
    {
        QTest::addColumn<widgets::PromptAnswer>("defaultAnswer");
        QTest::addColumn<bool>("pressEscape");
        QTest::addColumn<widgets::PromptAnswer>("expected");
        QTest::newRow("default Yes, Enter") << widgets::PromptAnswer::Yes << false << widgets::PromptAnswer::Yes;
        QTest::newRow("default No, Enter") << widgets::PromptAnswer::No << false << widgets::PromptAnswer::No;
        QTest::newRow("default Yes, Escape") << widgets::PromptAnswer::Yes << true << widgets::PromptAnswer::No;
    }
    void yesNoBoxHonoursTheDefaultAndEscapeMeansNo()
    {
        QFETCH(widgets::PromptAnswer, defaultAnswer);
        QFETCH(bool, pressEscape);
        QFETCH(widgets::PromptAnswer, expected);
        QMessageBox::Icon icon = QMessageBox::Information;
        QStringList captions;
        whenBoxOpens([&](QMessageBox* box) {
            icon = box->icon();
            captions = {box->button(QMessageBox::Yes)->text(), box->button(QMessageBox::No)->text()};
            QTest::keyClick(box, pressEscape ? Qt::Key_Escape : Qt::Key_Return);
        });
        widgets::MessageBoxPrompter prompter;
        const widgets::PromptAnswer answer =
            prompter.prompt(nullptr, {u"システムの終了"_s, u"システムを終了してもよろしいでしょうか"_s,
                                      widgets::PromptIcon::None, widgets::PromptButtons::YesNo, defaultAnswer});
        QCOMPARE(answer, expected);
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(captions, (QStringList{u"はい(&Y)"_s, u"いいえ(&N)"_s}));
    }

    // An input method Qt cannot reach is told once, in a box that blocks nothing.
    void inputMethodNotice_data()
    {
        QTest::addColumn<QString>("qtModule"); // a null text leaves the variable unset
        QTest::addColumn<QString>("xModifiers");
        QTest::addColumn<QString>("gtkModule");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QStringList>("modules");
        QTest::addColumn<QString>("unreachable"); // empty when nothing is to be said
        QTest::addColumn<QString>("namedBy");
        const QString none;
        const QStringList debian = {u"compose"_s, u"xim"_s, u"ibus"_s};
        const QStringList withFcitx = debian + QStringList{u"fcitx"_s, u"fcitx5"_s};
        const QString qt = u"QT_IM_MODULE"_s;
        QTest::newRow("uim, no Qt 6 plug-in")
            << u"uim"_s << u"@im=uim"_s << u"uim"_s << u"xcb"_s << debian << u"uim"_s << qt;
        QTest::newRow("xim, served by compose only")
            << u"xim"_s << u"@im=uim"_s << none << u"xcb"_s << debian << u"xim"_s << qt;
        QTest::newRow("fcitx without fcitx5-frontend-qt6")
            << u"fcitx"_s << u"@im=fcitx"_s << u"fcitx"_s << u"xcb"_s << debian << u"fcitx"_s << qt;
        QTest::newRow("fcitx with its plug-in")
            << u"fcitx"_s << u"@im=fcitx"_s << none << u"xcb"_s << withFcitx << QString() << QString();
        QTest::newRow("name in another case")
            << u"IBus"_s << none << none << u"xcb"_s << debian << QString() << QString();
        QTest::newRow("uim on Wayland") << u"uim"_s << none << none << u"wayland"_s << debian << u"uim"_s << qt;
        QTest::newRow("no input method") << none << none << none << u"xcb"_s << debian << QString() << QString();
        QTest::newRow("none chosen") << u"none"_s << u"@im=uim"_s << none << u"xcb"_s << debian << QString()
                                     << QString();
        QTest::newRow("X server only") << none << u"@im=uim"_s << u"uim"_s << u"xcb"_s << debian << u"uim"_s
                                       << u"XMODIFIERS"_s;
        QTest::newRow("ibus without QT_IM_MODULE")
            << none << u"@im=ibus"_s << none << u"xcb"_s << debian << u"ibus"_s << u"XMODIFIERS"_s;
        QTest::newRow("empty QT_IM_MODULE")
            << u""_s << u"@im=uim"_s << none << u"xcb"_s << debian << u"uim"_s << u"XMODIFIERS"_s;
        QTest::newRow("X server on Wayland")
            << none << u"@im=uim"_s << u"uim"_s << u"wayland"_s << debian << QString() << QString();
        QTest::newRow("@im=none") << none << u"@im=none"_s << u"gtk-im-context-simple"_s << u"xcb"_s << debian
                                  << QString() << QString();
        QTest::newRow("GTK_IM_MODULE only")
            << none << none << u"scim"_s << u"xcb"_s << debian << u"scim"_s << u"GTK_IM_MODULE"_s;
    }
    void inputMethodNotice()
    {
        QFETCH(QString, qtModule);
        QFETCH(QString, xModifiers);
        QFETCH(QString, gtkModule);
        QFETCH(QString, platform);
        QFETCH(QStringList, modules);
        QFETCH(QString, unreachable);
        QFETCH(QString, namedBy);
        // The session's variables as the program reads them.
        const std::pair<const char*, QString> variables[] = {
            {"QT_IM_MODULE", qtModule}, {"XMODIFIERS", xModifiers}, {"GTK_IM_MODULE", gtkModule}};
        for (const auto& [name, value] : variables) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value.toUtf8());
        }
        const os::InputMethodEnvironment session = os::InputMethodEnvironment::current(platform);
        for (const auto& [name, value] : variables)
            qunsetenv(name);

        auto window = std::make_unique<QWidget>();
        window->show();
        QPointer<QWidget> notice = widgets::showInputMethodNotice(window.get(), session, modules);
        if (unreachable.isEmpty()) {
            QVERIFY(!notice);
            return;
        }
        QCOMPARE(os::unreachableInputMethod(session, modules), (os::UnreachableInputMethod{unreachable, namedBy}));
        auto* box = qobject_cast<QMessageBox*>(notice.data());
        QVERIFY(box);
        QVERIFY(box->isVisible());
        QVERIFY(!box->isModal());
        QCOMPARE(box->windowTitle(), u"taviklight"_s);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QVERIFY2(box->text().contains(u"「%1」（%2 の指定）"_s.arg(unreachable, namedBy)), qPrintable(box->text()));
        QVERIFY(box->text().contains(u"IBus (ibus-mozc) か Fcitx 5 (fcitx5-mozc と fcitx5-frontend-qt6)"_s));
        QVERIFY(box->text().contains(u"im-config"_s));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        // It keeps the program running no longer than the window it stands over, and goes with it.
        QVERIFY(!box->testAttribute(Qt::WA_QuitOnClose));
        window.reset();
        QVERIFY(!notice);
    }

    void inputContextPluginsAreFound()
    {
        // Qt's own compose plug-in is installed with Qt; it answers to "compose" and to "xim".
        const QStringList modules = os::availableInputMethodModules();
        QVERIFY2(modules.contains(u"compose"_s) && modules.contains(u"xim"_s), qPrintable(modules.join(u' ')));
    }
};

QTEST_MAIN(TestMessageBoxPrompter)
#include "tst_messageboxprompter.moc"
