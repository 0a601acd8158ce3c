#include "messenger/popup/popupwindow.h"

#include "support/accessibility.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QWindow>

using namespace messenger::popup;
using namespace messenger::service;
using namespace Qt::StringLiterals;

class TestPopupWindow final : public QObject
{
    Q_OBJECT

    static Notification sample()
    {
        return {u"端末A"_s, QHostAddress(u"192.0.2.5"_s), u"たろう\u202E"_s,
                u"<b>太字</b> <a href=\"file:///etc/passwd\">link</a>\n\u0007鐘\u202Eevil"_s,
                QDateTime(QDate(2002, 10, 18), QTime(9, 5, 3))};
    }

private Q_SLOTS:
    void cleanup()
    {
        qDeleteAll(QApplication::topLevelWidgets());
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void showsEverythingAsPlainVisibleText()
    {
        PopupWindow window(sample());
        QCOMPARE(window.windowTitle(), u"端末A からのメッセージ"_s);
        const auto* dateTime = window.findChild<QLabel*>(u"dateTimeLabel"_s);
        const auto* sender = window.findChild<QLabel*>(u"senderLabel"_s);
        const auto* recipient = window.findChild<QLabel*>(u"recipientLabel"_s);
        const auto* text = window.findChild<QPlainTextEdit*>(u"messageText"_s);
        QVERIFY(dateTime && sender && recipient && text);
        QCOMPARE(dateTime->text(), u"2002/10/18 9:05:03"_s);
        QCOMPARE(sender->text(), u"端末A（192.0.2.5）"_s);
        QCOMPARE(recipient->text(), u"たろう<U+202E>"_s);
        for (const QLabel* label : {dateTime, sender, recipient})
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(text->toPlainText(), u"<b>太字</b> <a href=\"file:///etc/passwd\">link</a>\n\u2407鐘<U+202E>evil"_s);
        QVERIFY(text->isReadOnly());
    }

    void noticeIgnoresTheInputMethod_data()
    {
        QTest::addColumn<QString>("preedit");
        QTest::addColumn<QString>("commit");
        QTest::newRow("commit") << QString() << u"てすと"_s;
        QTest::newRow("pre-edit") << u"てすと"_s << QString();
    }
    void noticeIgnoresTheInputMethod()
    {
        QFETCH(QString, preedit);
        QFETCH(QString, commit);
        PopupWindow window(sample());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* text = window.findChild<QPlainTextEdit*>(u"messageText"_s);
        const QString before = text->toPlainText();
        text->setFocus();
        text->selectAll();
        // What an input method sends is dropped, and the notice is not offered to one at all.
        QInputMethodEvent event(preedit, {});
        event.setCommitString(commit);
        QCoreApplication::sendEvent(text, &event);
        QCOMPARE(text->toPlainText(), before);
        for (QTextBlock block = text->document()->begin(); block.isValid(); block = block.next())
            QCOMPARE(block.layout()->preeditAreaText(), QString());
        QVERIFY(!text->inputMethodQuery(Qt::ImEnabled).toBool());
        QVERIFY(!text->testAttribute(Qt::WA_InputMethodEnabled));
    }

    void everyControlCanBeAnnounced()
    {
        PopupWindow window(sample());
        window.show();
        QCOMPARE(testsupport::controlsWithoutAccessibleText(&window), QStringList());
        // Each field's name gives its caption and its text, so the sender is read out, not only "送信元".
        QAccessibleInterface* sender =
            QAccessible::queryAccessibleInterface(window.findChild<QLabel*>(u"senderLabel"_s));
        QVERIFY(sender);
        QCOMPARE(sender->text(QAccessible::Name), u"送信元：端末A（192.0.2.5）"_s);
    }

    void titleFallsBackToAddress()
    {
        Notification anonymous = sample();
        anonymous.sender.clear();
        QCOMPARE(PopupWindow::titleFor(anonymous), u"192.0.2.5 からのメッセージ"_s);
    }

    void titleShowsSenderVerbatim_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::newRow("modified mark") << u"PC[*]"_s;
        QTest::newRow("doubled and nested marks") << u"[*][*]x[[*]]"_s;
    }
    void titleShowsSenderVerbatim()
    {
        QFETCH(QString, sender);
        Notification notification = sample();
        notification.sender = sender;
        PopupWindow window(notification);
        window.setWindowModified(true);
        window.winId(); // the title as the platform gets it
        QCOMPARE(window.windowHandle()->title(), sender + u" からのメッセージ"_s);
        QCOMPARE(window.accessibleName(), sender + u" からのメッセージ"_s);
    }

    void appearsWithoutTakingFocusAndClosesOnOk()
    {
        QPointer<PopupWindow> popup = new PopupWindow(sample());
        popup->show();
        QVERIFY(QTest::qWaitForWindowExposed(popup));
        // The offscreen platform activates every window it shows, so what is checked is the request
        // the window hands to the platform: the X11 and Wayland plugins show it without activating.
        QVERIFY(popup->windowHandle()->property("_q_showWithoutActivating").toBool());
        QVERIFY(popup->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

        QTest::mouseClick(popup->findChild<QPushButton*>(u"okButton"_s), Qt::LeftButton);
        QTRY_VERIFY(popup.isNull()); // deleted once closed
    }
};

QTEST_MAIN(TestPopupWindow)
#include "tst_popupwindow.moc"
