#include "tavik.h"

#include "chat/core/messagelines.h"
#include "chat/core/outgoingcheck.h"
#include "chat/ui/connectioncheckwindow.h"
#include "chat/ui/keyasciifilter.h"
#include "chat/ui/partnerreception.h"
#include "chat/ui/statuspanel.h"
#include "common/twips.h"
#include "net/datagramsocket.h"
#include "net/hostresolver.h"
#include "net/notificationclient.h"
#include "net/socketerror.h"
#include "net/winsockerrors.h"
#include "widgets/computerbrowser.h"
#include "widgets/designcontrol.h"
#include "widgets/errortext.h"
#include "widgets/programicon.h"
#include "widgets/prompter.h"
#include "widgets/windowflasher.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSessionManager>
#include <QStatusBar>

#include <utility>

using namespace Qt::StringLiterals;
using common::px;

namespace chat::ui {

namespace {

constexpr int DesignClientWidth = 6855;
constexpr int DesignClientHeight = 6990;
constexpr int MinimumOuterWidth = 7000;
constexpr int MinimumOuterHeight = 3000;

} // namespace

tavik::tavik(ChatServices services, QWidget* parent)
    : QMainWindow(parent)
    , m_services(std::move(services))
    , m_logViewer(m_services.makeLogViewer)
    , m_helpWindow(m_services.makeHelp)
    , m_aboutWindow(m_services.makeAbout)
    , m_checkWindow([] { return new ConnectionCheckWindow(check::Settings::system(&widgets::errorText)); })
    , m_logSearch(m_services.makeLogSearch)
{
    Q_ASSERT(m_services.prompter && m_services.flasher && m_services.messenger && m_services.resolver);
    if (!m_services.clock)
        m_services.clock = common::systemClock();

    setObjectName(u"tavik"_s);
    setWindowTitle(QString::fromUtf16(core::MainWindowTitle));
    widgets::applyProgramIcon(this);

    m_displayLineModel = new core::DisplayLineModel(this);
    m_logLineModel = new core::LogLineModel(this);
    ui.setupUi(this, m_displayLineModel, m_logLineModel);
    // The main window's layout may size the client area after the window's own resize event.
    centralWidget()->installEventFilter(this);
    Winsock1 = new net::DatagramSocket(*m_services.resolver, this);
    Winsock1->setObjectName(u"Winsock1"_s);
    m_reception = new PartnerReception(*m_services.resolver, m_services.publishedAddresses, this);
    connectHandlers();

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { endSession(CloseReason::SessionEnd); });
    }

    // The design size is the area between the menu bar and the status bar.
    resize(px(DesignClientWidth),
           px(DesignClientHeight) + menuBar()->sizeHint().height() + ui.StatusBar1->sizeHint().height());
    ui.Text1->setFocus();
}

void tavik::connectHandlers()
{
    connect(ui.Command1, &QPushButton::clicked, this, &tavik::Command1_Click);
    connect(ui.Command2, &QPushButton::clicked, this, &tavik::Command2_Click);
    connect(ui.Command3, &QPushButton::clicked, this, &tavik::Command3_Click);
    connect(ui.Command4, &QPushButton::clicked, this, &tavik::Command4_Click);
    connect(ui.Text1, &QLineEdit::returnPressed, ui.Command1, &QPushButton::click); // Enter in the name connects
    connect(ui.m_exit, &QAction::triggered, this, &tavik::m_exit_Click);
    connect(ui.m_log, &QAction::triggered, this, &tavik::m_log_Click);
    connect(ui.m_use, &QAction::triggered, this, &tavik::m_use_Click);
    connect(ui.m_version, &QAction::triggered, this, &tavik::m_version_Click);
    connect(ui.m_check, &QAction::triggered, this, &tavik::m_check_Click);
    connect(ui.m_logsearch, &QAction::triggered, this, &tavik::m_logsearch_Click);
    new KeyAsciiFilter(ui.Text2, [this](int& keyAscii) { Text2_KeyPress(keyAscii); });
    connect(Winsock1, &net::DatagramSocket::dataArrival, this, &tavik::Winsock1_DataArrival);
    connect(m_reception, &PartnerReception::received, this, &tavik::showReceived);
    connect(Winsock1, &net::DatagramSocket::portUnreachable, ui.statusPanel,
            [panel = ui.statusPanel](const QHostAddress&, quint16 port) { panel->notePortUnreachable(port); });
}

core::Role tavik::role() const
{
    return ui.Option1->isChecked() ? core::Role::PC1 : core::Role::PC2;
}

// Connect: set the socket up for the role, bind it, switch the layout, tell the partner.
void tavik::Command1_Click()
{
    if (ui.Text1->text().isEmpty()) {
        inform(u"接続先PC名を入力して下さい"_s);
        return;
    }
    if (Winsock1->state() != net::DatagramSocket::Closed)
        return;
    Winsock1->setProtocol(net::DatagramSocket::Udp);
    Winsock1->setRemoteHost(ui.Text1->text());
    const core::Ports ports = core::portsFor(role());
    Winsock1->setRemotePort(ports.remote);
    Winsock1->setLocalPort(ports.local);
    // Bind before anything changes, so that a failure leaves the window as it was.
    const common::Status bound = Winsock1->bind();
    if (!bound.isOk()) {
        m_services.prompter->prompt(this, {QString::fromUtf16(common::program::ApplicationTitle),
                                           core::bindFailureText(ports.local, widgets::errorText(bound)),
                                           widgets::PromptIcon::Critical});
        return;
    }
    ui.Label1->setText(core::connectedLabel(ui.Text1->text()));
    ui.showConnectedLayout(true);

    ui.statusPanel->showConnected(ports.local, ui.Text1->text(), ports.remote, *m_services.resolver);
    m_reception->start(ui.Text1->text(), ports.remote);

    NotifyPartner();
    // The partner-name box went away: the next thing to type is a message, also after the box.
    ui.Text2->setFocus();
}

void tavik::NotifyPartner()
{
    const QString text = core::notificationText(role());
    // The call blocks the window, as it always did; the messenger bounds it to its timeout.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const quint32 result = m_services.messenger->send(ui.Text1->text(), text);
    QGuiApplication::restoreOverrideCursor();
    inform(result == 0 ? u"貴方が接続したことを無事相手先へ通達しました"_s
                       : u"相手がいないか間違ったコンピュータ名のために送信できませんでした。"_s);
}

// Disconnect: tell the partner, switch back, and close the socket so that a later connect binds again.
void tavik::Command3_Click()
{
    m_messageBuffer = QString::fromUtf16(core::DisconnectNotice);
    const common::Status sent = Winsock1->sendData(m_messageBuffer);
    if (sent.isOk()) {
        m_messageBuffer = QString::fromUtf16(core::OwnPrefix) + m_messageBuffer;
        m_displayLineModel->append(core::shownText(m_messageBuffer));
    }
    ui.Label1->setText(QString::fromUtf16(core::NotConnectedLabel));
    ui.showConnectedLayout(false);
    Winsock1->close();
    m_reception->stop();
    ui.statusPanel->showDisconnected();
    if (!sent.isOk()) {
        m_services.prompter->prompt(this,
                                    {QString::fromUtf16(common::program::ApplicationTitle),
                                     core::noticeFailureText(widgets::errorText(sent)), widgets::PromptIcon::Warning});
    }
}

// Send: check the text, send it as one datagram, then show and record it.
void tavik::Command2_Click()
{
    // A click leaves the cursor in the message box, sent or refused, not on the button.
    const auto keepTyping = qScopeGuard([this] { ui.Text2->setFocus(); });
    const QString dateTime = common::dateTimeText(m_services.clock());
    const QString text = ui.Text2->text();
    const core::OutgoingCheck check = core::checkOutgoing(text);
    if (!check.accepted()) {
        inform(check.refusal);
        return;
    }
    m_messageBuffer = text;
    const common::Status sent = Winsock1->sendData(m_messageBuffer);
    if (!sent.isOk()) {
        reportSendFailure(sent);
        return;
    }
    m_displayLineModel->append(core::ownDisplayLine(m_messageBuffer));
    m_messageBuffer = QString::fromUtf16(core::OwnPrefix) + m_messageBuffer;
    appendLogLine(core::sentLogLine(net::DatagramSocket::localHostName(), ui.Text1->text(), text, dateTime));
    ui.Text2->clear();
    m_messageSent = true;
}

void tavik::reportSendFailure(const common::Status& result)
{
    if (net::winsockCode(result) == net::winsock::Fault) {
        m_services.prompter->prompt(this, {u"Alert"_s, u"接続先PC名が見つかりません"_s, widgets::PromptIcon::Critical});
        return;
    }
    m_services.prompter->prompt(this,
                                {QString::fromUtf16(common::program::ApplicationTitle),
                                 core::sendFailureText(widgets::errorText(result)), widgets::PromptIcon::Warning});
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
    return QMainWindow::eventFilter(watched, event);
}

// Receive: one call per datagram. Whose it is, the reception decides from where it came.
void tavik::Winsock1_DataArrival(qint64 /*bytesTotal*/)
{
    // One reading of the clock serves the log line and the status bar.
    m_lastArrival = m_services.clock();
    m_messageBuffer = Winsock1->getData();
    m_reception->arrived({m_messageBuffer, Winsock1->sourceAddress(), Winsock1->sourcePort(),
                          net::DatagramSocket::localHostName(), m_arrivalTimes.text(m_lastArrival)});
}

// A received datagram, once its sender is known: the partner's as 相手>, anyone else's under its address.
void tavik::showReceived(const core::ReceivedLine& line)
{
    m_displayLineModel->append(line.displayLine);
    m_messageBuffer = line.logLine.message;
    appendLogLine(line.logLine);
    ui.statusPanel->noteArrival(m_lastArrival.time(), line.source);
    m_services.flasher->messageArrived(this, line.displayLine, ui.Text2);
}

void tavik::appendLogLine(const common::LogLine& line)
{
    if (m_services.logLineAdded)
        m_services.logLineAdded(line); // the journal keeps it whole, List2 what a reader of the list needs
    m_logLineModel->append(m_services.logLineAdded ? core::keptLogLine(line) : line);
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
    widgets::keepOuterMinimum(this, QSize(px(MinimumOuterWidth), px(MinimumOuterHeight)));
    ui.fitToClient(centralWidget()->size());
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
    const widgets::PromptAnswer answer = m_services.prompter->prompt(
        this, {u"システムの終了"_s, u"システムを終了してもよろしいでしょうか"_s, widgets::PromptIcon::None,
               widgets::PromptButtons::YesNo, widgets::PromptAnswer::Yes});
    // The session may have ended while the question was open.
    if (answer != widgets::PromptAnswer::Yes || m_closed)
        return;
    // Any line counts, received ones too: a conversation this PC only listened to is kept as well.
    if (!logLines().isEmpty() && m_services.saveLogBeforeExit && !m_services.saveLogBeforeExit(this, logLines()))
        return;
    closeAs(CloseReason::Program);
}

void tavik::endSession(CloseReason reason)
{
    if (m_closed)
        return;
    if (!logLines().isEmpty() && m_services.saveLogAtSessionEnd)
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
    ui.Text1->setText(nul < 0 ? *chosen : chosen->left(nul));
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

// The connection check, for the partner and role as they are now; chosen again, it checks again.
void tavik::m_check_Click()
{
    m_checkWindow.show();
    if (auto* window = qobject_cast<ConnectionCheckWindow*>(m_checkWindow.window()))
        window->check({ui.Text1->text(), role(), {true, Winsock1->lastPortUnreachable()}});
}

// The search across every log of the log folder.
void tavik::m_logsearch_Click()
{
    m_logSearch.show();
}

void tavik::inform(const QString& text)
{
    m_services.prompter->prompt(this, {QString::fromUtf16(common::program::ApplicationTitle), text});
}

} // namespace chat::ui
