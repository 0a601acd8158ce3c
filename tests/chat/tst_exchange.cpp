// Two main windows, PC1 and PC2, on loopback in the test's own network namespace: connect,
// the exact datagrams, both lists on both sides, disconnect, the send checks and failure boxes.
#include "net/datagramsocket.h"
#include "net/hostresolver.h"
#include "net/notificationclient.h"
#include "os/launcherentry.h"
#include "support/chatharness.h"
#include "support/fakedesktop.h"
#include "widgets/sessionattention.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QUdpSocket>

using namespace Qt::StringLiterals;
using testsupport::ChatHarness;

namespace {

const QString Loopback = u"127.0.0.1"_s;
const QString Time = u"2002/10/18 9:05:03"_s;

QString host()
{
    return net::DatagramSocket::localHostName();
}

} // namespace

class TestExchange final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ChatHarness> a; // PC1
    std::unique_ptr<ChatHarness> b; // PC2
    testsupport::PrivateSessionBus m_desktop;

    static void connectAs(ChatHarness& side, chat::core::Role role, const QString& partner = Loopback)
    {
        side.showConnected(role == chat::core::Role::PC2, partner);
    }

    static net::DatagramSocket* socket(const ChatHarness& side)
    {
        return side.window->findChild<net::DatagramSocket*>(u"Winsock1"_s);
    }

    static void type(ChatHarness& side, const QString& text)
    {
        side.text(u"Text2")->setText(text);
        QTest::keyClick(side.text(u"Text2"), Qt::Key_Return);
    }

    static QString status(const ChatHarness& side)
    {
        return side.window->statusBar()->findChild<QLabel*>(u"StatusBar1Panel"_s)->text();
    }

    /// A plain socket standing in for a partner or a third sender, bound to @p port.
    static std::unique_ptr<QUdpSocket> peer(quint16 port)
    {
        auto socket = std::make_unique<QUdpSocket>();
        if (!socket->bind(QHostAddress::AnyIPv4, port))
            return nullptr;
        return socket;
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const quint16 port : {quint16(1001), quint16(1002)}) {
            QUdpSocket probe;
            if (!probe.bind(QHostAddress::AnyIPv4, port))
                QSKIP(qPrintable(
                    u"Cannot bind UDP port %1 (%2): this test needs a network namespace of its own "
                    "(CTest starts it through scripts/in-netns.sh) or the right to bind ports below 1024."_s.arg(port)
                        .arg(probe.errorString())));
        }
    }

    void init()
    {
        a = std::make_unique<ChatHarness>();
        b = std::make_unique<ChatHarness>();
        a->make();
        b->make();
    }

    void cleanup()
    {
        a.reset();
        b.reset();
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void connectBindsTheRolePortsAndNotifies_data()
    {
        QTest::addColumn<chat::core::Role>("role");
        QTest::addColumn<int>("local");
        QTest::addColumn<int>("remote");
        QTest::addColumn<QString>("hint");
        QTest::newRow("PC1") << chat::core::Role::PC1 << 1002 << 1001 << u"貴方はPC2を選んで接続して下さい"_s;
        QTest::newRow("PC2") << chat::core::Role::PC2 << 1001 << 1002 << u"貴方はPC1を選んで接続して下さい"_s;
    }
    void connectBindsTheRolePortsAndNotifies()
    {
        QFETCH(chat::core::Role, role);
        QFETCH(int, local);
        QFETCH(int, remote);
        QFETCH(QString, hint);
        connectAs(*a, role, u"  127.0.0.1"_s.trimmed());
        net::DatagramSocket* winsock = socket(*a);
        QVERIFY(winsock->state() != 0);
        QCOMPARE(winsock->protocol(), net::DatagramSocket::Udp);
        QCOMPARE(winsock->remoteHost(), Loopback);
        QCOMPARE(int(winsock->localPort()), local);
        QCOMPARE(int(winsock->remotePort()), remote);

        QCOMPARE(a->label(u"Label1")->text(), u"接続先PC：127.0.0.1\u3000状態：接続中"_s);
        QVERIFY(!a->text(u"Text1")->isVisible());
        QVERIFY(!a->button(u"Command4")->isVisible());
        QVERIFY(!a->option(u"Option1")->isEnabled() && a->option(u"Option1")->isVisible());
        QVERIFY(!a->option(u"Option2")->isEnabled() && a->option(u"Option2")->isVisible());
        QVERIFY(!a->button(u"Command1")->isVisible());
        QVERIFY(a->button(u"Command3")->isVisible());
        QVERIFY(a->text(u"Text2")->isVisible());
        QVERIFY(a->button(u"Command2")->isVisible());

        QCOMPARE(a->messenger.sent.size(), 1);
        QCOMPARE(a->messenger.sent.first().recipient, Loopback);
        QCOMPARE(a->messenger.sent.first().text, u"上記PCさんが貴方のPCへTavikLightを用いて接続しました。"_s + hint);
        QCOMPARE(a->prompter.texts(), QStringList{u"貴方が接続したことを無事相手先へ通達しました"_s});
        QCOMPARE(a->prompter.last().title, u"taviklight"_s);

        QTRY_VERIFY(status(*a).contains(u"(127.0.0.1) ポート %1"_s.arg(remote)));
        QVERIFY(status(*a).startsWith(u"自ポート %1"_s.arg(local)));

        // Connecting again from a bound socket does nothing.
        a->window->findChild<QPushButton*>(u"Command1"_s)->click();
        QCOMPARE(a->messenger.sent.size(), 1);
    }

    // After connecting (also by Enter in the name box) and after a click on 送信, sent or refused,
    // what the user types next lands in the message box.
    void theCursorIsWhereTheUserTypesNext_data()
    {
        QTest::addColumn<bool>("enterInName");
        QTest::addColumn<QString>("clickToSend"); // empty: nothing sent
        QTest::newRow("connect clicked") << false << QString();
        QTest::newRow("Enter in the name box connects") << true << QString();
        QTest::newRow("send clicked") << false << u"hi"_s;
        QTest::newRow("refused send clicked") << false << u"a,b"_s;
    }
    void theCursorIsWhereTheUserTypesNext()
    {
        QFETCH(bool, enterInName);
        QFETCH(QString, clickToSend);
        a->window->show();
        QApplication::setActiveWindow(a->window.get());
        QLineEdit* name = a->text(u"Text1");
        name->setText(Loopback);
        if (enterInName)
            QTest::keyClick(name, Qt::Key_Return);
        else
            QTest::mouseClick(a->button(u"Command1"), Qt::LeftButton);
        QVERIFY(socket(*a)->state() != 0);
        QCOMPARE(a->prompter.texts(), QStringList{u"貴方が接続したことを無事相手先へ通達しました"_s});
        if (!clickToSend.isEmpty()) {
            a->text(u"Text2")->setText(clickToSend);
            QTest::mouseClick(a->button(u"Command2"), Qt::LeftButton);
            QCOMPARE(a->prompter.requests.size(), clickToSend.contains(u',') ? 2 : 1);
        }
        QCOMPARE(a->window->focusWidget(), a->text(u"Text2"));
    }

    void failedNotificationKeepsTheConnection()
    {
        a->messenger.resultNext(2273);
        connectAs(*a, chat::core::Role::PC1);
        QCOMPARE(a->prompter.texts(),
                 QStringList{u"相手がいないか間違ったコンピュータ名のために送信できませんでした。"_s});
        QVERIFY(socket(*a)->state() != 0);
        QVERIFY(a->text(u"Text2")->isVisible());
        QVERIFY(a->button(u"Command2")->isEnabled());
    }

    void connectWaitsOneResolverBudgetAtMost()
    {
        // A name service that never answers: the status bar's lookup and the notification's share
        // one lookup, and its timeout, so connecting waits the resolver's 2 s once, not twice.
        auto gate = std::make_shared<QSemaphore>();
        net::HostResolver silent([gate](const QString&) {
            gate->acquire();
            return net::Resolution{};
        });
        net::NotificationClient messenger(&silent, net::notification::DefaultPort, std::chrono::seconds(5));
        a.reset(new ChatHarness);
        a->make([&](chat::ui::ChatServices& services) {
            services.resolver = &silent;
            services.messenger = &messenger;
        });
        QElapsedTimer clock;
        clock.start();
        connectAs(*a, chat::core::Role::PC1, u"silent-pc"_s);
        const qint64 took = clock.elapsed();
        QVERIFY2(took < 4000, qPrintable(u"the connect took %1 ms"_s.arg(took)));
        QCOMPARE(a->prompter.texts(),
                 QStringList{u"相手がいないか間違ったコンピュータ名のために送信できませんでした。"_s});
        QVERIFY(socket(*a)->state() != 0);
        QTRY_VERIFY(status(*a).contains(u"(アドレス不明)"_s));
        a.reset(); // before the resolver goes
        gate->release(2);
    }

    void bindFailureLeavesTheWindowNotConnected()
    {
        auto occupier = peer(1002);
        QVERIFY(occupier);
        connectAs(*a, chat::core::Role::PC1);
        QCOMPARE(a->prompter.requests.size(), 1);
        QCOMPARE(a->prompter.last().title, u"taviklight"_s);
        QCOMPARE(a->prompter.last().icon, widgets::PromptIcon::Critical);
        QCOMPARE(a->prompter.last().text,
                 u"ポート1002を開けませんでした。\n他のプログラムがこのポートを使用しています。"_s);
        QCOMPARE(socket(*a)->state(), 0);
        QCOMPARE(a->label(u"Label1")->text(), u"接続先PC名： 状態：未バインド"_s);
        QVERIFY(a->text(u"Text1")->isVisible());
        QVERIFY(a->option(u"Option1")->isEnabled());
        QVERIFY(a->messenger.sent.isEmpty());
        QCOMPARE(status(*a), u"未接続"_s);

        occupier.reset();
        QTest::mouseClick(a->button(u"Command1"), Qt::LeftButton);
        QVERIFY(socket(*a)->state() != 0);
        QCOMPARE(a->messenger.sent.size(), 1);
    }

    void messagesTravelBothWays()
    {
        connectAs(*a, chat::core::Role::PC1);
        connectAs(*b, chat::core::Role::PC2);
        QSignalSpy returnPressed(a->text(u"Text2"), &QLineEdit::returnPressed);

        type(*a, u"hello"_s);
        QCOMPARE(returnPressed.size(), 1); // the box still gets the Enter key
        // Only a plain Enter sends: with Ctrl or Alt the text stays in the box.
        a->text(u"Text2")->setText(u"not yet"_s);
        QTest::keyClick(a->text(u"Text2"), Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClick(a->text(u"Text2"), Qt::Key_Enter, Qt::AltModifier | Qt::KeypadModifier);
        QCOMPARE(a->text(u"Text2")->text(), u"not yet"_s);
        a->text(u"Text2")->clear();
        QCOMPARE(a->lines(u"List1"), QStringList{u"貴方>hello"_s});
        QCOMPARE(a->lines(u"List2"), QStringList{host() + u",127.0.0.1,hello,"_s + Time});
        QVERIFY(a->text(u"Text2")->text().isEmpty());
        QVERIFY(a->window->messageSent());
        QCOMPARE(a->window->messageBuffer(), u"貴方>hello"_s);

        QTRY_COMPARE(b->lines(u"List1"), QStringList{u"相手>hello"_s});
        QCOMPARE(b->lines(u"List2"), QStringList{u"127.0.0.1,"_s + host() + u",相手>hello,"_s + Time});
        QCOMPARE(b->window->logLines().first(), (common::LogLine{Loopback, host(), u"相手>hello"_s, Time}));
        QCOMPARE(b->flasher.count(), 1);
        QCOMPARE(b->flasher.windows.first().data(), b->window.get());
        QVERIFY(!b->window->messageSent());
        QTRY_VERIFY(status(*b).contains(u"最終受信 9:05:03"_s)); // updated once the arrivals are handled

        b->text(u"Text2")->setText(u"こんにちは　世界～ , "_s.chopped(3));
        QTest::mouseClick(b->button(u"Command2"), Qt::LeftButton);
        QTRY_COMPARE(a->lines(u"List1"), (QStringList{u"貴方>hello"_s, u"相手>こんにちは　世界～"_s}));
        QCOMPARE(a->window->logLines().last(), (common::LogLine{Loopback, host(), u"相手>こんにちは　世界～"_s, Time}));
        QCOMPARE(a->flasher.count(), 1);
        QVERIFY(a->prompter.requests.size() == 1 && b->prompter.requests.size() == 1); // the connect boxes only

        // The confirmed exit hands the log lines, fields apart, to the writer.
        a->prompter.answerNext(widgets::PromptAnswer::Yes);
        a->window->findChild<QAction*>(u"m_exit"_s)->trigger();
        QCOMPARE(a->savedAtExit.size(), 1);
        QCOMPARE(a->savedAtExit.first(), a->window->logLines());
        QCOMPARE(a->savedAtExit.first().size(), 2);
        QCOMPARE(a->journalled, a->window->logLines()); // each line went to the journal as it was made
        QVERIFY(!a->window->isVisible());
        QCOMPARE(socket(*a)->state(), 0); // closing released the port
    }

    void exactBytesOnTheWireAndOnlyThePartnerSpeaksAsThePartner()
    {
        // Bound to the loopback address only, so that another address can use the port too.
        auto partner = std::make_unique<QUdpSocket>();
        QVERIFY(partner->bind(QHostAddress::LocalHost, 1001));
        connectAs(*a, chat::core::Role::PC1);
        type(*a, u"テスト～ok　"_s);
        QTRY_VERIFY(partner->hasPendingDatagrams());
        const QNetworkDatagram datagram = partner->receiveDatagram();
        QCOMPARE(datagram.data(), QByteArray("\x83\x65\x83\x58\x83\x67\x81\x60ok\x81\x40"));
        QCOMPARE(datagram.senderPort(), 1002);
        QVERIFY(!partner->hasPendingDatagrams()); // one message, one datagram

        // The partner's address and port: the partner; the partner 127.0.0.1 is this machine, so
        // another address of this machine from the partner's port is the partner too. The same
        // address from another port: shown and logged under its own address. (Another host's
        // address cannot be sent from here; the classifier's table has those.)
        partner->writeDatagram(QByteArray("\x82\xa0,\"x\""), QHostAddress::LocalHost, 1002);
        QUdpSocket otherAddress;
        QVERIFY(otherAddress.bind(QHostAddress(u"127.0.0.2"_s), 1001));
        otherAddress.writeDatagram(QByteArray("a"), QHostAddress::LocalHost, 1002);
        QUdpSocket otherPort;
        QVERIFY(otherPort.bind(QHostAddress::LocalHost, 0));
        otherPort.writeDatagram(QByteArray("p"), QHostAddress::LocalHost, 1002);
        QTRY_COMPARE(a->lines(u"List1").size(), 4);
        const QString port = QString::number(otherPort.localPort());
        QCOMPARE(a->lines(u"List1").mid(1),
                 QStringList({u"相手>あ,\"x\""_s, u"相手>a"_s, u"他のPC(127.0.0.1:"_s + port + u")>p"_s}));
        QCOMPARE(a->lines(u"List2").mid(1),
                 QStringList({u"127.0.0.1,"_s + host() + u",相手>あ,\"x\","_s + Time,
                              u"127.0.0.1,"_s + host() + u",相手>a,"_s + Time,
                              u"127.0.0.1:"_s + port + u","_s + host() + u",他のPC>p,"_s + Time}));
        QCOMPARE(a->flasher.count(), 3);
        QTRY_VERIFY(status(*a).contains(u"（他のPC 127.0.0.1:"_s + port + u" から）"_s));
    }

    // The hosts file names this machine 127.0.1.1, yet what it sends there comes from 127.0.0.1:
    // two windows that name each other so are partners; another port is still a stranger.
    void partnerNamedAsThisMachineIsThePartner()
    {
        net::HostResolver hosts([](const QString& name) {
            return name == u"thispc"_s ? net::Resolution{{QHostAddress(u"127.0.1.1"_s)}, {}} : net::Resolution{};
        });
        for (ChatHarness* side : {a.get(), b.get()})
            side->make([&hosts](chat::ui::ChatServices& services) { services.resolver = &hosts; });
        connectAs(*a, chat::core::Role::PC1, u"thispc"_s);
        connectAs(*b, chat::core::Role::PC2, u"thispc"_s);
        type(*b, u"やあ"_s);
        QUdpSocket otherPort;
        QVERIFY(otherPort.bind(QHostAddress::LocalHost, 0));
        otherPort.writeDatagram(QByteArray("p"), QHostAddress::LocalHost, 1002);
        const QString port = QString::number(otherPort.localPort());
        QTRY_COMPARE(a->lines(u"List1"), (QStringList{u"相手>やあ"_s, u"他のPC(127.0.0.1:"_s + port + u")>p"_s}));
        QCOMPARE(a->window->logLines().first(), (common::LogLine{u"thispc"_s, host(), u"相手>やあ"_s, Time}));
        a.reset(); // before the resolver goes
        b.reset();
    }

    void eachPendingDatagramArrivesOnce()
    {
        connectAs(*a, chat::core::Role::PC1);
        auto sender = peer(1001); // the partner's port
        QVERIFY(sender);
        constexpr int Count = 300;
        for (int i = 0; i < Count; ++i)
            sender->writeDatagram(QByteArray("m") + QByteArray::number(i), QHostAddress::LocalHost, 1002);
        QTRY_COMPARE(a->rowCount(u"List1"), Count);
        QCoreApplication::processEvents();
        QCOMPARE(a->rowCount(u"List1"), Count);
        const QStringList lines = a->lines(u"List1");
        for (int i = 0; i < Count; ++i)
            QCOMPARE(lines.at(i), u"相手>m"_s + QString::number(i));
        QCOMPARE(a->window->logLines().size(), Count);
        QCOMPARE(a->flasher.count(), Count);

        // Nothing was sent, yet the partner's side of the conversation is kept when the program ends.
        a->window->endSession(chat::ui::CloseReason::TaskEnd);
        QCOMPARE(a->savedAtSessionEnd.size(), 1);
        QCOMPARE(a->savedAtSessionEnd.first().size(), Count);
        QCOMPARE(a->savedAtSessionEnd.first().last().message, u"相手>m"_s + QString::number(Count - 1));
    }

    // Messages that arrive while the window is not active are counted on the taskbar entry and, on
    // Wayland, in the notification; activating the window clears the count. A click on the
    // notification activates the window with the cursor in the message box.
    void unreadMessagesAreCountedUntilTheWindowIsActivated_data()
    {
        QTest::addColumn<widgets::SessionAttention::Mode>("mode");
        QTest::newRow("flash (X11)") << widgets::SessionAttention::Mode::Flash;
        QTest::newRow("notification (Wayland)") << widgets::SessionAttention::Mode::Notify;
    }
    void unreadMessagesAreCountedUntilTheWindowIsActivated()
    {
        QFETCH(widgets::SessionAttention::Mode, mode);
        if (!m_desktop.start())
            QSKIP("dbus-daemon cannot be started here");
        m_desktop.notifications.capabilities = {u"actions"_s, u"body"_s};
        m_desktop.notifications.calls.clear();
        testsupport::LauncherEntryListener taskbar;
        QVERIFY(taskbar.listen(testsupport::PrivateSessionBus::desktop()));
        widgets::SessionAttention attention(mode);
        b->make([&attention](chat::ui::ChatServices& services) { services.flasher = &attention; });
        connectAs(*a, chat::core::Role::PC1);
        connectAs(*b, chat::core::Role::PC2);
        QVERIFY(QTest::qWaitForWindowActive(b->window.get())); // the window shown last, once shown
        b->list(u"List1")->setFocus();
        QApplication::setActiveWindow(a->window.get());
        QVERIFY(QTest::qWaitForWindowActive(a->window.get()));
        QVERIFY(!b->window->isActiveWindow());

        const auto count = [](qint64 unread) {
            return QVariantMap{{u"count"_s, unread}, {u"count-visible"_s, unread > 0}};
        };
        type(*a, u"1"_s);
        QTRY_COMPARE(taskbar.updates.size(), 1);
        QCOMPARE(taskbar.updates.constFirst().appUri, u"application://example.taviklight.TavikLight.desktop"_s);
        QCOMPARE(taskbar.updates.constFirst().properties, count(1));
        type(*a, u"2"_s);
        QTRY_COMPARE(taskbar.updates.constLast().properties, count(2));
        // A burst, a stranger's too, is counted whole in a handful of signals, not one each.
        QUdpSocket stranger;
        for (int i = 0; i < 200; ++i)
            stranger.writeDatagram(QByteArray("s"), QHostAddress::LocalHost, 1001);
        QTRY_COMPARE(taskbar.updates.constLast().properties, count(202));
        QVERIFY2(taskbar.updates.size() < 10, qPrintable(QString::number(taskbar.updates.size())));
        if (mode == widgets::SessionAttention::Mode::Notify) {
            QTRY_VERIFY(!m_desktop.notifications.calls.isEmpty() &&
                        m_desktop.notifications.calls.constLast().summary == u"相手からのメッセージ (202件)"_s);
            QCOMPARE(m_desktop.notifications.calls.constFirst().summary, u"相手からのメッセージ (1件)"_s);
            testsupport::PrivateSessionBus::click(101);
        } else {
            QVERIFY(m_desktop.notifications.calls.isEmpty());
            QApplication::setActiveWindow(b->window.get());
        }
        QTRY_VERIFY(b->window->isActiveWindow());
        QTRY_COMPARE(taskbar.updates.constLast().properties, count(0));
        if (mode == widgets::SessionAttention::Mode::Notify)
            QCOMPARE(b->window->focusWidget(), b->text(u"Text2"));
        // While the window is active nothing is counted.
        const qsizetype updates = taskbar.updates.size();
        type(*a, u"3"_s);
        QTRY_COMPARE(b->rowCount(u"List1"), 203);
        QTest::qWait(2 * int(os::LauncherEntry::Interval.count()));
        QCOMPARE(taskbar.updates.size(), updates);
        b.reset(); // before the attention goes
    }

    void controlCharactersAreShownVisiblyAndLoggedWithoutLineBreaks()
    {
        connectAs(*a, chat::core::Role::PC1);
        auto sender = peer(1001); // the partner's port
        QVERIFY(sender);
        sender->writeDatagram(QByteArray("a\tb\r\nc\x1b\x7f"), QHostAddress::LocalHost, 1002);
        sender->writeDatagram(QByteArray("x\x81\x20y\x82"), QHostAddress::LocalHost, 1002);
        QTRY_COMPARE(a->rowCount(u"List1"), 2);
        QCOMPARE(a->lines(u"List1").first(), u"相手>a\u2409b\u240D\u240Ac\u241B\u2421"_s);
        QCOMPARE(a->window->logLines().first().message, u"相手>a\tb??c\x1b\x7f"_s);
        // Invalid code page 932 bytes become one U+FFFD per bad sequence, and nothing breaks.
        const QString bad = a->lines(u"List1").last();
        QVERIFY(bad.startsWith(u"相手>x"_s) && bad.contains(u'\uFFFD') && bad.contains(u'y'));

        // A run that only received writes its log at the confirmed exit as well.
        a->prompter.answerNext(widgets::PromptAnswer::Yes);
        a->window->findChild<QAction*>(u"m_exit"_s)->trigger();
        QCOMPARE(a->savedAtExit.size(), 1);
        QCOMPARE(a->savedAtExit.first(), a->window->logLines());
        QCOMPARE(a->savedAtExit.first().size(), 2);
        QVERIFY(!a->window->isVisible());
    }

    void disconnectNotifiesBothSidesAndClosesThePort()
    {
        connectAs(*a, chat::core::Role::PC1);
        connectAs(*b, chat::core::Role::PC2);
        QTest::mouseClick(a->button(u"Command3"), Qt::LeftButton);
        QCOMPARE(a->lines(u"List1"), QStringList{u"貴方>連絡事項：切断されました"_s});
        QVERIFY(a->lines(u"List2").isEmpty());
        QVERIFY(!a->window->messageSent());
        QCOMPARE(a->label(u"Label1")->text(), u"接続先PC名： 状態：未バインド"_s);
        QCOMPARE(a->text(u"Text1")->text(), Loopback);
        QVERIFY(a->text(u"Text1")->isVisible() && a->button(u"Command4")->isVisible());
        QVERIFY(a->button(u"Command1")->isVisible() && !a->button(u"Command3")->isVisible());
        QVERIFY(!a->text(u"Text2")->isVisible() && !a->button(u"Command2")->isVisible());
        QVERIFY(a->option(u"Option1")->isEnabled());
        QCOMPARE(socket(*a)->state(), 0);
        QCOMPARE(status(*a), u"未接続"_s);

        QTRY_COMPARE(b->lines(u"List1"), QStringList{u"相手>連絡事項：切断されました"_s});
        QCOMPARE(b->lines(u"List2"),
                 QStringList{u"127.0.0.1,"_s + host() + u",相手>連絡事項：切断されました,"_s + Time});
        QVERIFY(b->text(u"Text2")->isVisible()); // the partner stays connected
        QCOMPARE(b->flasher.count(), 1);

        // Nothing reaches the closed port; a new connect binds again and hears the partner.
        type(*b, u"after"_s);
        QTest::mouseClick(a->button(u"Command1"), Qt::LeftButton);
        QVERIFY(socket(*a)->state() != 0);
        type(*b, u"again"_s);
        QTRY_COMPARE(a->rowCount(u"List1"), 2);
        QCOMPARE(a->lines(u"List1").last(), u"相手>again"_s);
    }

    void refusedTextsAreNotSent_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("box");
        QTest::newRow("empty") << QString() << u"メッセージを入力してください"_s;
        QTest::newRow("comma") << u"a,b"_s << u"送信するメッセージに[,]は入れられません"_s;
        QTest::newRow("quote") << u"a\"b"_s << u"送信するメッセージに[\"]は入れられません"_s;
        QTest::newRow("both") << u"\",\""_s << u"送信するメッセージに[,]は入れられません"_s;
        QTest::newRow("unrepresentable") << u"x😀y😀"_s << u"次の文字は送信できません：😀"_s;
        QTest::newRow("too many characters") << QString(40000, u'a') << u"メッセージが長すぎます。"_s;
        QTest::newRow("too many bytes") << QString(32767, u'漢') << u"メッセージが長すぎます。"_s;
    }
    void refusedTextsAreNotSent()
    {
        QFETCH(QString, text);
        QFETCH(QString, box);
        auto partner = peer(1001);
        QVERIFY(partner);
        connectAs(*a, chat::core::Role::PC1);
        a->prompter.requests.clear();
        type(*a, text);
        QCOMPARE(a->prompter.texts(), QStringList{box});
        QCOMPARE(a->prompter.last().title, u"taviklight"_s);
        QCOMPARE(a->prompter.last().icon, widgets::PromptIcon::None);
        QCOMPARE(a->text(u"Text2")->text(), text);
        QVERIFY(a->lines(u"List1").isEmpty() && a->lines(u"List2").isEmpty());
        QVERIFY(!a->window->messageSent());
        // The next datagram the partner sees is the next accepted message, not the refused one.
        type(*a, u"ok"_s);
        QTRY_VERIFY(partner->hasPendingDatagrams());
        QCOMPARE(partner->receiveDatagram().data(), QByteArray("ok"));
    }

    void unknownPartnerNameShowsTheAlert()
    {
        net::HostResolver failing([](const QString&) { return net::Resolution{{}, u"見つかりません"_s}; });
        a.reset(new ChatHarness);
        a->make([&failing](chat::ui::ChatServices& services) { services.resolver = &failing; });
        connectAs(*a, chat::core::Role::PC1, u"nosuchpc"_s);
        a->prompter.requests.clear();
        type(*a, u"hello"_s);
        QCOMPARE(a->prompter.requests.size(), 1);
        QCOMPARE(a->prompter.last().title, u"Alert"_s);
        QCOMPARE(a->prompter.last().text, u"接続先PC名が見つかりません"_s);
        QCOMPARE(a->prompter.last().icon, widgets::PromptIcon::Critical);
        QCOMPARE(a->text(u"Text2")->text(), u"hello"_s);
        QVERIFY(a->lines(u"List1").isEmpty() && a->lines(u"List2").isEmpty());
        QVERIFY(!a->window->messageSent());
        a.reset(); // before the resolver goes
    }

    void otherSendFailuresShowAWarning()
    {
        // Sending to the broadcast address without permission to broadcast fails in the system.
        connectAs(*a, chat::core::Role::PC1, u"255.255.255.255"_s);
        a->prompter.requests.clear();
        type(*a, u"hello"_s);
        QCOMPARE(a->prompter.requests.size(), 1);
        QCOMPARE(a->prompter.last().title, u"taviklight"_s);
        QCOMPARE(a->prompter.last().icon, widgets::PromptIcon::Warning);
        QVERIFY2(a->prompter.last().text.startsWith(u"送信できませんでした。\n"_s),
                 qPrintable(a->prompter.last().text));
        QVERIFY(a->prompter.last().text.size() > u"送信できませんでした。\n"_s.size()); // with the reason
        QCOMPARE(a->text(u"Text2")->text(), u"hello"_s);
        QVERIFY(a->lines(u"List1").isEmpty());
        QVERIFY(!a->window->messageSent());
    }

    void unsentDisconnectNoticeIsNotShownAsSent()
    {
        connectAs(*a, chat::core::Role::PC1, u"255.255.255.255"_s);
        a->prompter.requests.clear();
        QTest::mouseClick(a->button(u"Command3"), Qt::LeftButton);
        QVERIFY(a->lines(u"List1").isEmpty());
        QCOMPARE(a->prompter.requests.size(), 1);
        QCOMPARE(a->prompter.last().icon, widgets::PromptIcon::Warning);
        QVERIFY(a->prompter.last().text.startsWith(u"切断の通知を相手に送信できませんでした。\n"_s));
        // The user asked to disconnect: that happens all the same.
        QCOMPARE(socket(*a)->state(), 0);
        QVERIFY(a->button(u"Command1")->isVisible());
        QCOMPARE(a->label(u"Label1")->text(), u"接続先PC名： 状態：未バインド"_s);
    }

    void exitAfterSendingWaitsForTheLog()
    {
        auto partner = peer(1001);
        connectAs(*a, chat::core::Role::PC1);
        type(*a, u"hello"_s);
        a->exitMayGoOn = false; // the writer failed and the user chose to stay
        a->prompter.answerNext(widgets::PromptAnswer::Yes);
        a->window->findChild<QAction*>(u"m_exit"_s)->trigger();
        QCOMPARE(a->savedAtExit.size(), 1);
        QVERIFY(a->window->isVisible());
        QCOMPARE(a->lines(u"List2").size(), 1);

        a->prompter.answerNext(widgets::PromptAnswer::No);
        a->window->findChild<QAction*>(u"m_exit"_s)->trigger();
        QCOMPARE(a->savedAtExit.size(), 1); // No asks nothing further

        a->window->endSession(chat::ui::CloseReason::TaskEnd);
        QCOMPARE(a->savedAtSessionEnd.size(), 1);
        QCOMPARE(a->savedAtSessionEnd.first(), a->window->logLines());
        QVERIFY(!a->window->isVisible());
    }

    void portUnreachableShowsInTheStatusBar()
    {
        connectAs(*a, chat::core::Role::PC1); // nobody listens on 1001
        type(*a, u"anyone?"_s);
        QCOMPARE(a->lines(u"List1"), QStringList{u"貴方>anyone?"_s}); // sent, shown and logged all the same
        QTRY_VERIFY(status(*a).contains(u"相手のポート 1001 に届きません"_s));
    }
};

QTEST_MAIN(TestExchange)
#include "tst_exchange.moc"
