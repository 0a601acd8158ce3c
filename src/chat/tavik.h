#pragma once

/*
 * The chat program's main window. It owns the controls of its design (role options, partner
 * name, connect/send/disconnect buttons, the message box, the conversation list List1 and the
 * hidden log list List2), the menu and the status bar, and the UDP socket Winsock1. The handlers
 * keep their design names and stay short: the rules they apply (ports, label and notification
 * texts, the checks before a send, display and log lines, the status text) are plain functions
 * in chatrules.h, outgoingcheck.h, messagelines.h and statustext.h, testable without a screen.
 * Message boxes, the window flash, the partner notification, the computer browser, the clock
 * and the log writer come in through ChatServices, so tests inject scripted ones.
 */

#include "chat/appendlistmodel.h"
#include "chat/chatrules.h"
#include "chat/chatservices.h"
#include "chat/statustext.h"
#include "common/datetimetext.h"
#include "common/logline.h"
#include "platform/singlewindow.h"

#include <QList>
#include <QMainWindow>
#include <QString>

class QAction;
class QFrame;
class QHostAddress;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace platform {
class DatagramSocket;
struct SocketResult;
} // namespace platform

namespace chat {

/// Where a request to close the main window came from.
enum class CloseReason : qint16 {
    Frame = 0,      ///< the window frame: close box, system menu, Alt+F4
    Program = 1,    ///< the program's own exit
    SessionEnd = 2, ///< the desktop session ends (logout, shutdown)
    TaskEnd = 3,    ///< a termination signal
};

class tavik final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(tavik)

public:
    /// @p services must hold a prompter, a flasher and a messenger; see ChatServices.
    explicit tavik(ChatServices services, QWidget* parent = nullptr);
    ~tavik() override;

    /// True once this PC has sent a chat message in this run; never reset.
    bool messageSent() const { return m_messageSent; }
    /// Working text of the last message sent or received, or of the disconnect notice.
    const QString& messageBuffer() const { return m_messageBuffer; }
    /// List2's lines with their four fields, oldest first, as the log writer needs them.
    const QList<common::LogLine>& logLines() const { return m_logLineModel->items(); }
    /// The role the options select now.
    Role role() const;

    /**
     * Closes the window at once, without the exit question, because the desktop session ends
     * or a termination signal arrived (@p reason SessionEnd or TaskEnd). When the run has any
     * log line, sent or received, the log is handed to ChatServices::saveLogAtSessionEnd first.
     */
    void endSession(CloseReason reason);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void describeControls();
    void buildMenu();
    void applyTabOrder();

    // Handlers of the design.
    void Command1_Click();
    void NotifyPartner();
    void Command3_Click();
    void Command2_Click();
    void Text2_KeyPress(int& keyAscii);
    void Winsock1_DataArrival(qint64 bytesTotal);
    void Form_Resize();
    void Form_QueryUnload(qint16& cancel, qint16 closeReason);
    void m_exit_Click();
    void Command4_Click();
    void m_log_Click();
    void m_use_Click();
    void m_version_Click();

    void showConnectedLayout(bool connected);
    void inform(const QString& text);
    void reportSendFailure(const platform::SocketResult& result);
    void appendLogLine(const common::LogLine& line);
    void closeAs(CloseReason reason);
    QString nowText() const;
    void resolvePartnerForStatus();
    void onPortUnreachable(const QHostAddress& address, quint16 port);
    void scheduleStatusUpdate();
    void updateStatus();

    ChatServices m_services;
    bool m_messageSent = false;
    QString m_messageBuffer;
    DisplayLineModel* m_displayLineModel = nullptr;
    LogLineModel* m_logLineModel = nullptr;
    CloseReason m_closeReason = CloseReason::Frame;
    bool m_closed = false;
    ConnectionStatus m_status;
    bool m_statusUpdatePending = false;
    quint64 m_partnerLookup = 0; // counts the status bar's partner lookups; only the last one's answer counts
    common::DateTimeTextCache m_arrivalTimes;
    platform::SingleWindow m_logViewer;
    platform::SingleWindow m_helpWindow;
    platform::SingleWindow m_aboutWindow;

    // Controls, named as in the design.
    QStatusBar* StatusBar1 = nullptr;
    QLabel* m_statusPanel = nullptr;
    QPushButton* Command4 = nullptr;
    QListView* List2 = nullptr;
    QPushButton* Command3 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text1 = nullptr;
    platform::DatagramSocket* Winsock1 = nullptr;
    QListView* List1 = nullptr;
    QFrame* Line1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;

    QMenu* m_menu = nullptr;
    QAction* m_exit = nullptr;
    QMenu* m_tool = nullptr;
    QAction* m_log = nullptr;
    QMenu* m_help = nullptr;
    QAction* m_use = nullptr;
    QAction* m_sp2 = nullptr;
    QAction* m_version = nullptr;
};

} // namespace chat
