// Tavik Light: opens the main window with the real services and runs until its last window closes.
#include "chat/ui/chatservices.h"
#include "chat/ui/tavik.h"
#include "check/checkcommand.h"
#include "common/datetimetext.h"
#include "common/programinfo.h"
#include "history/core/journal.h"
#include "history/core/logwriter.h"
#include "history/ui/exitlog.h"
#include "history/ui/journalrecovery.h"
#include "history/ui/logsearchwindow.h"
#include "history/ui/logviewerslot.h"
#include "info/frmabout.h"
#include "info/frmhelp.h"
#include "net/hostresolver.h"
#include "net/mdnsaddressbrowser.h"
#include "net/mdnsresolver.h"
#include "net/notificationclient.h"
#include "net/notificationprotocol.h"
#include "os/commandline.h"
#include "os/displaycheck.h"
#include "os/heapmemory.h"
#include "os/terminationwatcher.h"
#include "widgets/avahicomputerbrowser.h"
#include "widgets/errortext.h"
#include "widgets/filechooser.h"
#include "widgets/inputmethodnotice.h"
#include "widgets/japaneseenvironment.h"
#include "widgets/programicon.h"
#include "widgets/prompter.h"
#include "widgets/sessionattention.h"

#include <QApplication>

#include <chrono>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    const QString program = QString::fromUtf16(common::program::ChatProgram);
    // Answered before anything else is made: --help and --version need no display.
    os::CommandLine commandLine(
        program, u"Tavik Light: 同じ LAN の 2 台のパソコンで、サーバーなしに 1 対 1 でチャットします。\n"_s
                 u"One-to-one chat between two PCs on the same LAN, without a server. See tavik-light(1)."_s);
    check::CheckCommand checkCommand(commandLine, &widgets::errorText);
    if (const auto status = commandLine.read(os::CommandLine::arguments(argc, argv)))
        return *status;
    // The connection check runs without a display: it ends before one would be opened.
    if (checkCommand.requested())
        return checkCommand.run(argc, argv);

    common::pinLocalTimeZone();
    os::keepFreedHeapForReuse();
    os::DisplayCheck displayCheck(program);
    QApplication app(argc, argv);
    displayCheck.finish();
    QApplication::setApplicationName(QString::fromUtf16(common::program::ApplicationTitle));
    QApplication::setApplicationVersion(QString::fromUtf16(common::program::Version));
    // The Wayland app id and the X11 window class: the desktop finds the menu entry and its icon by it.
    QGuiApplication::setDesktopFileName(QString::fromUtf16(common::program::ChatDesktopId));
    QApplication::setWindowIcon(widgets::programIcon());
    widgets::applyJapaneseEnvironment(app);

    // One resolver for the socket, the status bar and the connect notice, so that they share its
    // cache and its lookups. A partner name the system cannot resolve is then asked for in ".local"
    // by multicast DNS.
    net::HostResolver resolver;
    const net::MdnsResolver mdns;
    resolver.setFallback([mdns](const QString& name, net::HostResolver::Clock::time_point deadline) {
        return mdns.resolve(name, deadline);
    });

    // The partner is known by every address its mDNS name publishes, not only the one a lookup gives.
    net::MdnsAddressBrowser publishedAddresses;

    widgets::MessageBoxPrompter prompter;
    // The urgency flash where the window system shows it, a desktop notification on Wayland.
    widgets::SessionAttention flasher(widgets::SessionAttention::modeForPlatform(QGuiApplication::platformName()));
    // The connect notice blocks the window while it waits for the partner's service: 5 s at most.
    net::NotificationClient messenger(resolver, net::notification::DefaultPort, std::chrono::seconds(5));
    widgets::AvahiComputerBrowser browser;
    widgets::DialogFileChooser chooser;

    // A conversation an earlier run could not save (it crashed or was killed) becomes a log file
    // now; this run's conversation is journalled in the same folder as it happens.
    const QString logFolder = history::core::defaultLogFolder();
    history::ui::recoverPreviousConversations(nullptr, prompter, logFolder);
    history::core::Journal journal(logFolder);

    chat::ui::ChatServices services;
    services.prompter = &prompter;
    services.flasher = &flasher;
    services.messenger = &messenger;
    services.resolver = &resolver;
    services.browser = &browser;
    services.publishedAddresses = &publishedAddresses;
    services.logLineAdded = [&journal](const common::LogLine& line) { journal.append(line); };
    // The exit's log is the journal itself, renamed into place, when it holds every line (the
    // lines in memory are then not needed); the journal goes once the log is written, or once
    // the user chose to exit without it.
    services.saveLogBeforeExit = [&prompter, &journal](QWidget* parent, const QList<common::LogLine>& lines) {
        const bool mayClose = history::ui::saveLogBeforeExit(
            parent, prompter, [&] { return journal.saveAsLog(lines, common::systemClock()()); });
        if (mayClose)
            journal.discard();
        return mayClose;
    };
    // Nobody can be asked when the session ends: write what can be written; a failure keeps the journal.
    services.saveLogAtSessionEnd = [&journal](const QList<common::LogLine>& lines) {
        journal.saveAsLog(lines, common::systemClock()());
    };
    // One log viewer for the menu and for the records the search window finds.
    history::ui::LogViewerSlot viewer(prompter, chooser);
    services.makeLogViewer = [&viewer] { return viewer.viewerForMenu(); };
    services.makeLogSearch = [&viewer, &chooser, logFolder] {
        return history::ui::makeLogSearchWindow(
            logFolder, chooser, [&viewer](const QString& path, qsizetype record) { viewer.showRecord(path, record); });
    };
    services.makeHelp = [] { return new info::frmHelp; };
    services.makeAbout = [] { return new info::frmAbout; };

    chat::ui::tavik window(services);

    // A termination signal ends the whole program, as ending the task did: the main window closes
    // first (saving the log when the run has a log line, sent or received), then the other windows
    // go with the program.
    os::TerminationWatcher watcher;
    QObject::connect(&watcher, &os::TerminationWatcher::terminationRequested, &window, [&window](int) {
        window.endSession(chat::ui::CloseReason::TaskEnd);
        QCoreApplication::quit();
    });

    window.show();
    // Said once, over the main window: typed keys would otherwise arrive as romaji, unexplained.
    widgets::showInputMethodNotice(&window, os::InputMethodEnvironment::current(QGuiApplication::platformName()),
                                   os::availableInputMethodModules());
    os::releaseStartupMemory(&window);
    return QApplication::exec();
}
