#pragma once

#include "common/datetimetext.h"
#include "common/logline.h"

#include <QList>

#include <functional>

class QWidget;

namespace net {
class HostResolver;
class MdnsAddressBrowser;
class NotificationClient;
} // namespace net
namespace widgets {
class ComputerBrowser;
class Prompter;
class WindowFlasher;
} // namespace widgets

namespace chat::ui {

/// Where a request to close the main window came from.
enum class CloseReason : qint16 {
    Frame = 0,      ///< the window frame: close box, system menu, Alt+F4
    Program = 1,    ///< the program's own exit
    SessionEnd = 2, ///< the desktop session ends (logout, shutdown)
    TaskEnd = 3,    ///< a termination signal
};

/**
 * Everything the main window needs from outside it. The program passes the real services;
 * tests pass scripted ones. The pointers are not owned and must outlive the window.
 */
struct ChatServices
{
    widgets::Prompter* prompter = nullptr;        ///< required: every message box
    widgets::WindowFlasher* flasher = nullptr;    ///< required: flashes the window on arrival
    net::NotificationClient* messenger = nullptr; ///< required: tells the partner about a connect
    widgets::ComputerBrowser* browser = nullptr;  ///< optional: without it the browse button does nothing
    net::HostResolver* resolver = nullptr;        ///< required: the socket's, the status bar's and the reception's
    /// optional: every address an mDNS partner name publishes, so that the partner is known by each
    net::MdnsAddressBrowser* publishedAddresses = nullptr;
    common::Clock clock; ///< optional: the system clock when empty

    /**
     * Saves the conversation log before a confirmed exit; called only when the run has at least
     * one log line, sent or received. @return whether the exit may go on (false keeps the window open, nothing lost).
     * When empty, the exit goes on.
     */
    std::function<bool(QWidget* parent, const QList<common::LogLine>& lines)> saveLogBeforeExit;

    /**
     * Saves the conversation log without asking anything, when the desktop session ends or a
     * termination signal arrives; called only when the run has at least one log line.
     */
    std::function<void(const QList<common::LogLine>& lines)> saveLogAtSessionEnd;

    /**
     * Called with every log line the moment it is made (sent or received), before it is shown;
     * the program journals it, so that a crash loses nothing. Optional. When set, the journal holds
     * the lines whole and the log is written from it: List2 (logLines()) keeps each message only
     * up to core::MaxKeptLogCharacters.
     */
    std::function<void(const common::LogLine& line)> logLineAdded;

    /// Make the log viewer, the help window and the About window; each is shown at most once.
    std::function<QWidget*()> makeLogViewer;
    std::function<QWidget*()> makeHelp;
    std::function<QWidget*()> makeAbout;

    /// Makes the search window across log files, which 「ログの検索(&S)...」 shows (at most once); without it the item
    /// does nothing.
    std::function<QWidget*()> makeLogSearch;
};

} // namespace chat::ui
