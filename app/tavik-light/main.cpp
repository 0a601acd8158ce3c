// Tavik Light: opens the main window with the real services and runs until its last window closes.
#include "chat/chatservices.h"
#include "chat/tavik.h"
#include "common/datetimetext.h"
#include "common/programinfo.h"
#include "history/exitlog.h"
#include "history/journal.h"
#include "history/journalrecovery.h"
#include "history/logwriter.h"
#include "history/tavik_log.h"
#include "info/frmabout.h"
#include "info/frmhelp.h"
#include "messenger/protocol.h"
#include "platform/avahicomputerbrowser.h"
#include "platform/commandline.h"
#include "platform/displaycheck.h"
#include "platform/filechooser.h"
#include "platform/hostresolver.h"
#include "platform/japaneseenvironment.h"
#include "platform/mdnsresolver.h"
#include "platform/messenger.h"
#include "platform/programicon.h"
#include "platform/prompter.h"
#include "platform/sessionattention.h"
#include "platform/startupmemory.h"
#include "platform/terminationwatcher.h"

#include <QApplication>

#include <chrono>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    const QString program = QString::fromUtf16(common::program::ChatProgram);
    // Answered before anything else is made: --help and --version need no display.
    platform::CommandLine commandLine(
        program, u"Tavik Light: 同じ LAN の 2 台のパソコンで、サーバーなしに 1 対 1 でチャットします。\n"_s
                 u"One-to-one chat between two PCs on the same LAN, without a server. See tavik-light(1)."_s);
    if (const auto status = commandLine.read(platform::CommandLine::arguments(argc, argv)))
        return *status;

    common::pinLocalTimeZone();
    platform::DisplayCheck displayCheck(program);
    QApplication app(argc, argv);
    displayCheck.finish();
    QApplication::setApplicationName(QString::fromUtf16(common::program::ApplicationTitle));
    QApplication::setApplicationVersion(QString::fromUtf16(common::program::Version));
    // The Wayland app id and the X11 window class: the desktop finds the menu entry and its icon by it.
    QGuiApplication::setDesktopFileName(QString::fromUtf16(common::program::ChatDesktopId));
    QApplication::setWindowIcon(platform::programIcon());
    platform::applyJapaneseEnvironment(app);

    // A partner name the system cannot resolve is then asked for in ".local" by multicast DNS.
    const platform::MdnsResolver mdns;
    platform::HostResolver::shared().setFallback(
        [mdns](const QString& name, platform::HostResolver::Clock::time_point deadline) {
            return mdns.resolve(name, deadline);
        });

    platform::MessageBoxPrompter prompter;
    // The urgency flash where the window system shows it, a desktop notification on Wayland.
    platform::SessionAttention flasher(platform::SessionAttention::modeForPlatform(QGuiApplication::platformName()));
    // The connect notice blocks the window while it waits for the partner's service: 5 s at most.
    platform::Messenger messenger(nullptr, messenger::protocol::DefaultPort, std::chrono::seconds(5));
    platform::AvahiComputerBrowser browser;
    platform::DialogFileChooser chooser;

    // A conversation an earlier run could not save (it crashed or was killed) becomes a log file
    // now; this run's conversation is journalled in the same folder as it happens.
    const QString logFolder = history::defaultLogFolder();
    history::recoverPreviousConversations(nullptr, prompter, logFolder);
    history::Journal journal(logFolder);

    chat::ChatServices services;
    services.prompter = &prompter;
    services.flasher = &flasher;
    services.messenger = &messenger;
    services.browser = &browser;
    services.logLineAdded = [&journal](const common::LogLine& line) { journal.append(line); };
    // The exit's log is the journal itself, renamed into place, when it holds every line (the
    // lines in memory are then not needed); the journal goes once the log is written, or once
    // the user chose to exit without it.
    services.saveLogBeforeExit = [&prompter, &journal](QWidget* parent, const QList<common::LogLine>& lines) {
        const bool mayClose = history::saveLogBeforeExit(
            parent, prompter, [&] { return journal.saveAsLog(lines, common::systemClock()()); });
        if (mayClose)
            journal.discard();
        return mayClose;
    };
    // Nobody can be asked when the session ends: write what can be written; a failure keeps the journal.
    services.saveLogAtSessionEnd = [&journal](const QList<common::LogLine>& lines) {
        journal.saveAsLog(lines, common::systemClock()());
    };
    services.makeLogViewer = [&prompter, &chooser] { return history::makeLogViewer(prompter, chooser); };
    services.makeHelp = [] { return new info::frmHelp; };
    services.makeAbout = [] { return new info::frmAbout; };

    chat::tavik window(services);

    // A termination signal ends the whole program, as ending the task did: the main window closes
    // first (saving the log when the run has any log line), then the other windows go with the program.
    platform::TerminationWatcher watcher;
    QObject::connect(&watcher, &platform::TerminationWatcher::terminationRequested, &window, [&window](int) {
        window.endSession(chat::CloseReason::TaskEnd);
        QCoreApplication::quit();
    });

    window.show();
    platform::releaseStartupMemory(&window);
    return QApplication::exec();
}
