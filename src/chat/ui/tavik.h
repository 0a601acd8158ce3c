#pragma once

/*
 * The chat program's main window. It owns the controls of its design (role options, partner
 * name, connect/send/disconnect buttons, the message box, the conversation list List1 and the
 * hidden log list List2, made by TavikUi in tavikui.h), the menu and the status bar
 * (StatusPanel), and the UDP socket Winsock1. The handlers keep their design names and stay
 * short: the rules they apply (ports, label and notification texts, the checks before a send,
 * display and log lines, the status text) are plain functions in chatrules.h, outgoingcheck.h,
 * messagelines.h and statustext.h, testable without a screen. Message boxes, the window flash,
 * the partner notification, the computer browser, the clock and the log writer come in through
 * ChatServices, so tests inject scripted ones.
 */

#include "chat/core/appendlistmodel.h"
#include "chat/core/chatrules.h"
#include "chat/ui/chatservices.h"
#include "chat/ui/tavikui.h"
#include "common/datetimetext.h"
#include "common/logline.h"
#include "common/status.h"
#include "widgets/singlewindow.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QString>

class QHostAddress;

namespace net {
class DatagramSocket;
} // namespace net

namespace chat::core {
struct ReceivedLine;
} // namespace chat::core

namespace chat::ui {

class PartnerReception;

class tavik final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(tavik)

public:
    /// @p services must hold a prompter, a flasher and a messenger; see ChatServices.
    explicit tavik(ChatServices services, QWidget* parent = nullptr);

    /// True once this PC has sent a chat message in this run; never reset.
    bool messageSent() const { return m_messageSent; }
    /// Working text of the last message sent or received, or of the disconnect notice.
    const QString& messageBuffer() const { return m_messageBuffer; }
    /// List2's lines with their four fields, oldest first, as the log writer needs them.
    const QList<common::LogLine>& logLines() const { return m_logLineModel->items(); }
    /// The role the options select now.
    core::Role role() const;

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
    void connectHandlers();

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
    void m_check_Click();
    void m_logsearch_Click();

    void inform(const QString& text);
    void reportSendFailure(const common::Status& result);
    void showReceived(const core::ReceivedLine& line);
    void appendLogLine(const common::LogLine& line);
    void closeAs(CloseReason reason);

    ChatServices m_services;
    bool m_messageSent = false;
    QString m_messageBuffer;
    core::DisplayLineModel* m_displayLineModel = nullptr;
    core::LogLineModel* m_logLineModel = nullptr;
    CloseReason m_closeReason = CloseReason::Frame;
    bool m_closed = false;
    common::DateTimeTextCache m_arrivalTimes;
    QDateTime m_lastArrival;
    PartnerReception* m_reception = nullptr;
    widgets::SingleWindow m_logViewer;
    widgets::SingleWindow m_helpWindow;
    widgets::SingleWindow m_aboutWindow;
    widgets::SingleWindow m_checkWindow;
    widgets::SingleWindow m_logSearch;

    // Controls and menu, named as in the design.
    TavikUi ui;
    net::DatagramSocket* Winsock1 = nullptr;
};

} // namespace chat::ui
