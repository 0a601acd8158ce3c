#include "tavik.h"

#include "chat/messagelines.h"
#include "chat/outgoingcheck.h"
#include "common/datetimetext.h"
#include "common/twips.h"
#include "platform/computerbrowser.h"
#include "platform/datagramsocket.h"
#include "platform/hostresolver.h"
#include "platform/japanesefont.h"
#include "platform/messenger.h"
#include "platform/programicon.h"
#include "platform/prompter.h"
#include "platform/windowflasher.h"
#include "platform/winsockerrors.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSessionManager>
#include <QStatusBar>

#include <utility>

using namespace Qt::StringLiterals;
using common::px;
using common::twipsRect;

namespace chat {

namespace {

constexpr int DesignClientWidth = 6855;
constexpr int DesignClientHeight = 6990;
constexpr int MinimumOuterWidth = 7000;
constexpr int MinimumOuterHeight = 3000;
constexpr qreal ControlPointSize = 9.75;
constexpr qreal PictureButtonPointSize = 12;

QPushButton* pictureButton(QWidget* parent, const char16_t* name, const QString& iconPath, QSize iconSize,
                           const QString& accessibleName)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromUtf16(name));
    button->setIcon(QIcon(iconPath));
    button->setIconSize(iconSize);
    button->setAccessibleName(accessibleName);
    button->setToolTip(accessibleName);
    return button;
}

} // namespace

tavik::tavik(ChatServices services, QWidget* parent)
    : QMainWindow(parent)
    , m_services(std::move(services))
    , m_logViewer(m_services.makeLogViewer)
    , m_helpWindow(m_services.makeHelp)
    , m_aboutWindow(m_services.makeAbout)
{
    Q_ASSERT(m_services.prompter && m_services.flasher && m_services.messenger);
    if (!m_services.clock)
        m_services.clock = common::systemClock();

    setObjectName(u"tavik"_s);
    setWindowTitle(u"Tavik Light  ver1.3"_s);
    platform::applyProgramIcon(this);

    buildControls();
    buildMenu();
    applyTabOrder();

    Winsock1 = new platform::DatagramSocket(this, m_services.resolver);
    Winsock1->setObjectName(u"Winsock1"_s);
    connect(Winsock1, &platform::DatagramSocket::dataArrival, this, &tavik::Winsock1_DataArrival);
    connect(Winsock1, &platform::DatagramSocket::portUnreachable, this, &tavik::onPortUnreachable);

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { endSession(CloseReason::SessionEnd); });
    }

    // The design size is the area between the menu bar and the status bar.
    resize(px(DesignClientWidth),
           px(DesignClientHeight) + menuBar()->sizeHint().height() + StatusBar1->sizeHint().height());
    updateStatus();
    Text1->setFocus();
}

tavik::~tavik() = default;

void tavik::buildControls()
{
    auto* client = new QWidget(this);
    setCentralWidget(client);
    // The main window's layout may size the client area after the window's own resize event.
    client->installEventFilter(this);
    const QFont controlFont = platform::designFont(ControlPointSize);
    const auto label = [&](const char16_t* name, const QString& text, QRect geometry) {
        auto* widget = new QLabel(text, client);
        widget->setObjectName(QString::fromUtf16(name));
        widget->setTextFormat(Qt::PlainText); // a partner name must never be read as markup
        widget->setFont(controlFont);
        widget->setGeometry(geometry);
        return widget;
    };
    const auto lineEdit = [&](const char16_t* name, QRect geometry) {
        auto* widget = new QLineEdit(client);
        widget->setObjectName(QString::fromUtf16(name));
        widget->setFont(controlFont);
        widget->setGeometry(geometry);
        return widget;
    };
    const auto list = [&](const char16_t* name, QRect geometry, QAbstractItemModel* model) {
        auto* widget = new QListView(client);
        widget->setObjectName(QString::fromUtf16(name));
        widget->setGeometry(geometry);
        // Every row is one line of the same height, so the view never measures rows one by one.
        widget->setUniformItemSizes(true);
        widget->setEditTriggers(QAbstractItemView::NoEditTriggers);
        widget->setModel(model);
        return widget;
    };

    Command4 = pictureButton(client, u"Command4", u":/icons/browse.png"_s, QSize(38, 15), u"接続先PCを探す"_s);
    Command4->setGeometry(twipsRect(1920, 360, 615, 255));
    m_logLineModel = new LogLineModel(this);
    List2 = list(u"List2", twipsRect(960, 4080, 4455, 2220), m_logLineModel);
    List2->hide();
    Command3 = new QPushButton(u"切断"_s, client);
    Command3->setObjectName(u"Command3"_s);
    Command3->setFont(controlFont);
    Command3->setGeometry(twipsRect(120, 360, 975, 375));
    Command3->hide();
    Option2 = new QRadioButton(u"PC2側"_s, client);
    Option2->setObjectName(u"Option2"_s);
    Option2->setFont(controlFont);
    Option2->setGeometry(twipsRect(4320, 360, 1335, 375));
    Option1 = new QRadioButton(u"PC1側"_s, client);
    Option1->setObjectName(u"Option1"_s);
    Option1->setFont(controlFont);
    Option1->setGeometry(twipsRect(3120, 360, 1215, 375));
    Option1->setChecked(true);
    Command1 = pictureButton(client, u"Command1", u":/icons/connect.png"_s, QSize(32, 32), u"接続"_s);
    Command1->setFont(platform::designFont(PictureButtonPointSize));
    Command1->setGeometry(twipsRect(6240, 360, 495, 495));
    Command2 = pictureButton(client, u"Command2", u":/icons/send.png"_s, QSize(32, 32), u"送信"_s);
    Command2->setFont(platform::designFont(PictureButtonPointSize));
    Command2->setGeometry(twipsRect(6240, 960, 495, 495));
    Command2->hide();
    Text2 = lineEdit(u"Text2", twipsRect(120, 1080, 6015, 285));
    Text2->setMaxLength(std::numeric_limits<int>::max()); // no length limit; the send checks refuse what is too long
    Text2->hide();
    Text2->installEventFilter(this);
    Text1 = lineEdit(u"Text1", twipsRect(120, 360, 1815, 285));
    Text1->setMaxLength(std::numeric_limits<int>::max());
    m_displayLineModel = new DisplayLineModel(this);
    List1 = list(u"List1", twipsRect(120, 1920, 6615, 4920), m_displayLineModel);
    Line1 = new QFrame(client);
    Line1->setObjectName(u"Line1"_s);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setGeometry(0, px(1560), px(7560), 1);
    Label3 = label(u"Label3", u"送受信したデータ："_s, twipsRect(120, 1680, 2775, 255));
    Label1 = label(u"Label1", QString::fromUtf16(NotConnectedLabel), twipsRect(120, 120, 4935, 255));
    Label2 = label(u"Label2", u"送信するデータ："_s, twipsRect(120, 840, 2775, 255));

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(u"StatusBar1"_s);
    m_statusPanel = new QLabel(StatusBar1);
    m_statusPanel->setObjectName(u"StatusBar1Panel"_s);
    m_statusPanel->setTextFormat(Qt::PlainText);
    m_statusPanel->setMinimumWidth(px(1440));
    StatusBar1->addPermanentWidget(m_statusPanel, 1);
    setStatusBar(StatusBar1);

    describeControls();

    connect(Command1, &QPushButton::clicked, this, &tavik::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &tavik::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &tavik::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &tavik::Command4_Click);
}

// A screen reader has nothing to say about a picture button or a text box without these.
void tavik::describeControls()
{
    const auto describe = [](QWidget* widget, const QString& name, const QString& description) {
        if (!name.isEmpty())
            widget->setAccessibleName(name);
        widget->setAccessibleDescription(description);
    };
    describe(Command4, {}, u"ネットワーク上のコンピュータを一覧から選び、接続先PC名に入れます"_s);
    describe(List2, u"記録"_s,
             u"送受信したメッセージの記録。メッセージを送信していれば終了時にログファイルへ保存されます"_s);
    describe(Command3, {}, u"相手に切断を知らせ、接続を終えます"_s);
    describe(Option1, {}, u"PC1側として接続します。相手はPC2側を選びます"_s);
    describe(Option2, {}, u"PC2側として接続します。相手はPC1側を選びます"_s);
    describe(Command1, {}, u"接続先PCと接続し、相手に通知します"_s);
    describe(Command2, {}, u"入力したメッセージを相手に送信します"_s);
    describe(Text2, u"送信するデータ"_s, u"送信するメッセージ。Enterキーでも送信します"_s);
    describe(Text1, u"接続先PC名"_s, u"相手のコンピュータ名またはIPアドレス"_s);
    describe(List1, u"送受信したデータ"_s, u"送信したメッセージ（貴方>）と受信したメッセージ（相手>）の一覧"_s);
    describe(Line1, u"区切り線"_s, u"送信欄と一覧の区切り"_s);
    describe(Label1, {}, u"接続先と接続の状態"_s);
    describe(Label2, {}, u"送信欄の見出し"_s);
    describe(Label3, {}, u"一覧の見出し"_s);
    describe(StatusBar1, u"ステータスバー"_s, u"接続の詳しい状態"_s);
    describe(m_statusPanel, {}, u"自分のポート、相手のアドレスとポート、最後に受信した時刻"_s);
}

void tavik::buildMenu()
{
    const auto action = [this](QMenu* menu, const char16_t* name, const QString& text, void (tavik::*handler)()) {
        QAction* item = menu->addAction(text);
        item->setObjectName(QString::fromUtf16(name));
        connect(item, &QAction::triggered, this, handler);
        return item;
    };
    const auto topMenu = [this](const char16_t* name, const QString& title) {
        QMenu* menu = menuBar()->addMenu(title);
        menu->setObjectName(QString::fromUtf16(name));
        return menu;
    };
    m_menu = topMenu(u"m_menu", u"メニュー(&M)"_s);
    m_exit = action(m_menu, u"m_exit", u"終了(&Q)"_s, &tavik::m_exit_Click);
    m_tool = topMenu(u"m_tool", u"ツール(&T)"_s);
    m_log = action(m_tool, u"m_log", u"過去ログの表示(&L)"_s, &tavik::m_log_Click);
    m_help = topMenu(u"m_help", u"ヘルプ(&H)"_s);
    m_use = action(m_help, u"m_use", u"使い方(&U)"_s, &tavik::m_use_Click);
    m_sp2 = m_help->addSeparator();
    m_sp2->setObjectName(u"m_sp2"_s);
    m_version = action(m_help, u"m_version", u"バージョン情報(&A)"_s, &tavik::m_version_Click);
}

void tavik::applyTabOrder()
{
    // Labels, the hidden log list and the status bar take no focus; Qt skips hidden controls.
    QWidget* const order[] = {Text1, Option1, Option2, Command1, Text2, Command2, List1, Command3, Command4};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

Role tavik::role() const
{
    return Option1->isChecked() ? Role::PC1 : Role::PC2;
}

// Connect: set the socket up for the role, bind it, switch the layout, tell the partner.
void tavik::Command1_Click()
{
    if (Text1->text().isEmpty()) {
        inform(u"接続先PC名を入力して下さい"_s);
        return;
    }
    if (Winsock1->state() != platform::DatagramSocket::Closed)
        return;
    Winsock1->setProtocol(platform::DatagramSocket::Udp);
    Winsock1->setRemoteHost(Text1->text());
    const Ports ports = portsFor(role());
    Winsock1->setRemotePort(ports.remote);
    Winsock1->setLocalPort(ports.local);
    // Bind before anything changes, so that a failure leaves the window as it was.
    const platform::SocketResult bound = Winsock1->bind();
    if (!bound.ok()) {
        m_services.prompter->prompt(this, {QString::fromUtf16(ApplicationTitle),
                                           bindFailureText(ports.local, bound.code, bound.reason),
                                           platform::PromptIcon::Critical});
        return;
    }
    Label1->setText(connectedLabel(Text1->text()));
    showConnectedLayout(true);

    m_status = ConnectionStatus{};
    m_status.connected = true;
    m_status.localPort = ports.local;
    m_status.partnerPort = ports.remote;
    m_status.partnerName = Text1->text();
    resolvePartnerForStatus();
    updateStatus();

    NotifyPartner();
}

void tavik::NotifyPartner()
{
    const QString text = notificationText(role());
    // The call blocks the window, as it always did; the messenger bounds it to its timeout.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const quint32 result = m_services.messenger->send(Text1->text(), text);
    QGuiApplication::restoreOverrideCursor();
    inform(result == 0 ? u"貴方が接続したことを無事相手先へ通達しました"_s
                       : u"相手がいないか間違ったコンピュータ名のために送信できませんでした。"_s);
}

// Disconnect: tell the partner, switch back, and close the socket so that a later connect binds again.
void tavik::Command3_Click()
{
    m_messageBuffer = QString::fromUtf16(DisconnectNotice);
    const platform::SocketResult sent = Winsock1->sendData(m_messageBuffer);
    if (sent.ok()) {
        m_messageBuffer = QString::fromUtf16(OwnPrefix) + m_messageBuffer;
        m_displayLineModel->append(visibleText(m_messageBuffer));
    }
    Label1->setText(QString::fromUtf16(NotConnectedLabel));
    showConnectedLayout(false);
    Winsock1->close();
    m_status = ConnectionStatus{};
    updateStatus();
    if (!sent.ok()) {
        m_services.prompter->prompt(this, {QString::fromUtf16(ApplicationTitle), noticeFailureText(sent.reason),
                                           platform::PromptIcon::Warning});
    }
}

void tavik::showConnectedLayout(bool connected)
{
    Text1->setVisible(!connected);
    Command4->setVisible(!connected);
    Option1->setEnabled(!connected);
    Option2->setEnabled(!connected);
    Command1->setVisible(!connected);
    Command3->setVisible(connected);
    Text2->setVisible(connected);
    Command2->setVisible(connected);
}

// Send: check the text, send it as one datagram, then show and record it.
void tavik::Command2_Click()
{
    const QString dateTime = nowText();
    const QString text = Text2->text();
    const OutgoingCheck check = checkOutgoing(text);
    if (!check.accepted()) {
        inform(check.refusal);
        return;
    }
    m_messageBuffer = text;
    const platform::SocketResult sent = Winsock1->sendData(m_messageBuffer);
    if (!sent.ok()) {
        reportSendFailure(sent);
        return;
    }
    m_displayLineModel->append(ownDisplayLine(m_messageBuffer));
    m_messageBuffer = QString::fromUtf16(OwnPrefix) + m_messageBuffer;
    appendLogLine(sentLogLine(platform::DatagramSocket::localHostName(), Text1->text(), text, dateTime));
    Text2->clear();
    m_messageSent = true;
}

void tavik::reportSendFailure(const platform::SocketResult& result)
{
    if (result.code == platform::winsock::Fault) {
        m_services.prompter->prompt(this,
                                    {u"Alert"_s, u"接続先PC名が見つかりません"_s, platform::PromptIcon::Critical});
        return;
    }
    m_services.prompter->prompt(
        this, {QString::fromUtf16(ApplicationTitle), sendFailureText(result.reason), platform::PromptIcon::Warning});
}

void tavik::Text2_KeyPress(int& keyAscii)
{
    if (keyAscii == 13)
        Command2_Click();
}

bool tavik::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        Form_Resize();
    if (watched == Text2 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        int keyAscii = 0;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            keyAscii = 13;
        else if (!key->text().isEmpty())
            keyAscii = key->text().at(0).unicode();
        if (keyAscii != 0)
            Text2_KeyPress(keyAscii);
        // The box still receives the key itself.
    }
    return QMainWindow::eventFilter(watched, event);
}

// Receive: one call per datagram; every datagram on the own port counts as the partner's.
void tavik::Winsock1_DataArrival(qint64 /*bytesTotal*/)
{
    // One reading of the clock serves the log line and the status bar.
    const QDateTime now = m_services.clock();
    m_messageBuffer = Winsock1->getData();
    m_displayLineModel->append(partnerDisplayLine(m_messageBuffer));
    const common::LogLine line = receivedLogLine(Text1->text(), platform::DatagramSocket::localHostName(),
                                                 m_messageBuffer, m_arrivalTimes.text(now));
    m_messageBuffer = line.message;
    appendLogLine(line);
    m_status.lastArrival = now.time();
    m_status.partnerUnreachable = false;
    scheduleStatusUpdate();
    m_services.flasher->flash(this);
}

void tavik::appendLogLine(const common::LogLine& line)
{
    if (m_services.logLineAdded)
        m_services.logLineAdded(line);
    m_logLineModel->append(line);
}

void tavik::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void tavik::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    Form_Resize();
}

// The outer size never stays below 7000 x 3000 twips, frame included; List1 fills the client
// area (the part between the menu bar and the status bar) but for fixed margins.
void tavik::Form_Resize()
{
    const QSize frameExtra = frameGeometry().size() - size();
    const QSize outerMinimum(px(MinimumOuterWidth), px(MinimumOuterHeight));
    // The minimum also goes to the platform, so a drag cannot leave the window smaller.
    setMinimumSize((outerMinimum - frameExtra).expandedTo(QSize(1, 1)));
    if (!isMinimized()) {
        if (frameGeometry().width() < outerMinimum.width())
            resize(outerMinimum.width() - frameExtra.width(), height());
        if (frameGeometry().height() < outerMinimum.height())
            resize(width(), outerMinimum.height() - frameExtra.height());
    }
    const QSize client = centralWidget()->size();
    if (client.isEmpty())
        return; // minimized or not laid out yet: nothing to fit
    List1->resize(qMax(0, client.width() - px(250)), qMax(0, client.height() - px(2000)));
}

void tavik::Form_QueryUnload(qint16& cancel, qint16 closeReason)
{
    cancel = closeReason == qint16(CloseReason::Frame) ? 1 : 0;
}

void tavik::closeEvent(QCloseEvent* event)
{
    qint16 cancel = 0;
    Form_QueryUnload(cancel, qint16(std::exchange(m_closeReason, CloseReason::Frame)));
    if (cancel) {
        event->ignore();
        return;
    }
    m_closed = true;
    Winsock1->close();
    event->accept();
}

void tavik::closeAs(CloseReason reason)
{
    m_closeReason = reason;
    close();
}

void tavik::m_exit_Click()
{
    const platform::PromptAnswer answer = m_services.prompter->prompt(
        this, {u"システムの終了"_s, u"システムを終了してもよろしいでしょうか"_s, platform::PromptIcon::None,
               platform::PromptButtons::YesNo, platform::PromptAnswer::Yes});
    // The session may have ended while the question was open.
    if (answer != platform::PromptAnswer::Yes || m_closed)
        return;
    if (m_messageSent && m_services.saveLogBeforeExit && !m_services.saveLogBeforeExit(this, logLines()))
        return;
    closeAs(CloseReason::Program);
}

void tavik::endSession(CloseReason reason)
{
    if (m_closed)
        return;
    if (m_messageSent && m_services.saveLogAtSessionEnd)
        m_services.saveLogAtSessionEnd(logLines());
    closeAs(reason);
}

// Pick the partner in the network browser; a cancel leaves Text1 as it is.
void tavik::Command4_Click()
{
    if (!m_services.browser)
        return;
    const std::optional<QString> chosen = m_services.browser->browse(this);
    if (!chosen)
        return;
    const qsizetype nul = chosen->indexOf(QChar(u'\0'));
    Text1->setText(nul < 0 ? *chosen : chosen->left(nul));
}

void tavik::m_log_Click()
{
    m_logViewer.show();
}

void tavik::m_use_Click()
{
    m_helpWindow.show();
}

void tavik::m_version_Click()
{
    m_aboutWindow.show();
}

void tavik::inform(const QString& text)
{
    m_services.prompter->prompt(this, {QString::fromUtf16(ApplicationTitle), text});
}

QString tavik::nowText() const
{
    return common::dateTimeText(m_services.clock());
}

// The status bar shows the partner's address; it is looked up apart from the socket's own
// resolution and never blocks the window.
void tavik::resolvePartnerForStatus()
{
    // The resolver the socket and the partner notification use, so that a name found only by
    // multicast DNS shows its address too. The notification that follows needs the same answer
    // and takes it from the resolver's cache, so connecting waits no longer than before.
    platform::HostResolver& resolver = m_services.resolver ? *m_services.resolver : platform::HostResolver::shared();
    const platform::Resolution found = resolver.resolve(m_status.partnerName);
    m_status.addressState =
        found.addresses.isEmpty() ? ConnectionStatus::Address::NotFound : ConnectionStatus::Address::Found;
    if (!found.addresses.isEmpty())
        m_status.partnerAddress = found.addresses.first().toString();
    updateStatus();
}

void tavik::onPortUnreachable(const QHostAddress& /*address*/, quint16 port)
{
    if (!m_status.connected || port != m_status.partnerPort)
        return;
    m_status.partnerUnreachable = true;
    updateStatus();
}

// A burst of arrivals changes the status many times within one turn of the event loop; the
// panel shows only the last state, so it is updated once, when the burst has been handled.
void tavik::scheduleStatusUpdate()
{
    if (m_statusUpdatePending)
        return;
    m_statusUpdatePending = true;
    QMetaObject::invokeMethod(this, &tavik::updateStatus, Qt::QueuedConnection);
}

void tavik::updateStatus()
{
    m_statusUpdatePending = false;
    const QString text = statusText(m_status);
    m_statusPanel->setText(text);
    m_statusPanel->setToolTip(text); // the whole text, where the panel is too narrow for it
}

} // namespace chat
