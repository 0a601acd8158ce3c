// tavik-messenger: the per-user notification service. Shows each message another PC sends to TCP
// port 31001 in a pop-up; without a display it keeps running and answers that it cannot show any.

#include "common/programinfo.h"
#include "messenger/popup/displayprobe.h"
#include "messenger/popup/popuppresenter.h"
#include "messenger/popup/popupprocess.h"
#include "messenger/service/descriptorlimit.h"
#include "messenger/service/displaywatch.h"
#include "messenger/service/notificationserver.h"
#include "messenger/service/popupprocesspresenter.h"
#include "messenger/service/servicepublisher.h"
#include "net/notificationprotocol.h"
#include "os/commandline.h"
#include "os/terminationwatcher.h"
#include "widgets/errortext.h"
#include "widgets/japaneseenvironment.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

void printError(const QString& text)
{
    std::fprintf(stderr, "tavik-messenger: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char** argv)
{
    // Answered before the display is probed: --help and --version start nothing.
    os::CommandLine commandLine(
        QString::fromUtf16(common::program::ServiceProgram),
        u"Tavik Light の通知サービス: 相手が接続したことを知らせるポップアップを表示します。\n"_s
        u"The Tavik Light notification service: shows the notice that a partner has connected. "_s
        u"See tavik-messenger(1)."_s);
    const QCommandLineOption portOption(u"port"_s, u"待ち受ける TCP ポート (既定 31001) (TCP port to listen on)。"_s,
                                        u"port"_s, QString::number(net::notification::DefaultPort));
    commandLine.parser().addOption(portOption);
    // The service's own pop-up process (see below); not for users.
    QCommandLineOption showPopupsOption(u"show-popups"_s, u"ポップアップを表示するプロセスとして動きます。"_s);
    showPopupsOption.setFlags(QCommandLineOption::HiddenFromHelp);
    commandLine.parser().addOption(showPopupsOption);
    const QStringList arguments = os::CommandLine::arguments(argc, argv);
    if (const auto status = commandLine.read(arguments))
        return *status;
    if (commandLine.parser().isSet(showPopupsOption))
        return messenger::popup::runPopupProcess(argc, argv);

    // Before anything opens descriptors: room for a burst of connections that are refused at once.
    messenger::service::raiseDescriptorLimit();

    // The service never connects to the display itself: idle, it holds no more than a plain Qt
    // program. Pop-ups are shown by a process of their own that runs only while there are any.
    // Whether there is a display to show them on is decided before the application object exists.
    const messenger::popup::ProbedDisplay probed = messenger::popup::probeDisplay(argc, argv);
    const bool display = probed != messenger::popup::ProbedDisplay::None;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromUtf16(common::program::ServiceProgram));
    QCoreApplication::setApplicationVersion(QString::fromUtf16(common::program::Version));
    widgets::applyJapaneseEnvironment(app);

    bool portValid = false;
    const uint port = commandLine.parser().value(portOption).toUInt(&portValid);
    // 0 lets the system pick a free port (tests); the line printed once listening names it.
    if (!portValid || port > 65535) {
        printError(u"ポート番号が正しくありません: "_s + commandLine.parser().value(portOption));
        return 2;
    }

    // A program on the display ends with it (Qt ends it with status 1), and so does the service,
    // though it holds no window: otherwise it would outlive the session, keep the port and the
    // Avahi entry, and the next session's launcher would find it running and start no new one.
    // It watches the display the pop-up process uses: X11 or Wayland as Qt chose it for the probe.
    std::unique_ptr<messenger::service::DisplayWatch> displayWatch;
    if (probed == messenger::popup::ProbedDisplay::X11 || probed == messenger::popup::ProbedDisplay::Wayland) {
        displayWatch = std::make_unique<messenger::service::DisplayWatch>(
            probed == messenger::popup::ProbedDisplay::X11 ? messenger::service::DisplayWatch::Protocol::X11
                                                           : messenger::service::DisplayWatch::Protocol::Wayland,
            messenger::service::DisplayWatch::x11DisplayOption(arguments));
        if (displayWatch->isConnected()) {
            QObject::connect(displayWatch.get(), &messenger::service::DisplayWatch::displayLost, &app, [] {
                printError(u"画面との接続が切れたため終了します。"_s);
                QCoreApplication::exit(1);
            });
        } else {
            printError(u"画面との接続を見張れないため、画面が終わっても通知サービスは動き続けます。"_s);
            displayWatch.reset();
        }
    }

    std::unique_ptr<messenger::service::Presenter> presenter;
    if (display) {
        // The same program, with the display options it was given (-platform, -display, …). The
        // path is taken at start-up: once an update has replaced the binary, the system no longer
        // tells it.
        auto popups = std::make_unique<messenger::service::PopupProcessPresenter>(
            QCoreApplication::applicationFilePath(), QStringList{u"--show-popups"_s} + arguments.mid(1),
            messenger::popup::PopupPresenter::MaxOpen);
        QObject::connect(popups.get(), &messenger::service::PopupProcessPresenter::problem, popups.get(),
                         [watch = displayWatch.get()](const QString& reason) {
                             // The pop-up process ends with the display, and may be noticed first:
                             // then the display's end is the one thing to report. Under load the
                             // service's own connection may tell of the end a moment after the
                             // child's exit, so the watch is asked again shortly after.
                             if (!watch) {
                                 printError(reason);
                                 return;
                             }
                             QTimer::singleShot(std::chrono::milliseconds(300), watch, [watch, reason] {
                                 watch->check();
                                 if (watch->isConnected())
                                     printError(reason);
                             });
                         });
        presenter = std::move(popups);
    } else {
        printError(u"画面に接続できないため、ポップアップは表示できません (受け取った通知には 50 で応答します)。"_s);
        presenter = std::make_unique<messenger::service::NoDisplayPresenter>();
    }

    messenger::service::NotificationServer server(*presenter, quint16(port));
    if (const common::Status failure = server.listen(); !failure.isOk()) {
        if (failure.sysErrno() == EADDRINUSE)
            printError(
                u"ポート %1 は既に使われています。通知サービスが既に動いているか、別のプログラムがこのポートを使っています。"_s
                    .arg(port));
        else
            printError(u"ポート %1 で待ち受けできません: %2"_s.arg(port).arg(widgets::errorText(failure)));
        return 1;
    }
    QObject::connect(
        &server, &messenger::service::NotificationServer::acceptingPaused, &server, [](const QString& reason) {
            printError(u"接続を受け付けられません（%1）。しばらくして受け付けを再開します。"_s.arg(reason));
        });
    std::printf("tavik-messenger: %s\n", qPrintable(u"TCP ポート %1 で待ち受けています。"_s.arg(server.port())));
    std::fflush(stdout);
    // Lets the partner's computer browser find this computer; without an Avahi daemon nothing happens.
    messenger::service::ServicePublisher publisher(server.port());
    publisher.start();

    // A termination signal ends the service through its normal path: pop-ups closed, port released.
    os::TerminationWatcher watcher;
    QObject::connect(&watcher, &os::TerminationWatcher::terminationRequested, &app,
                     [](int) { QCoreApplication::quit(); });
    if (!watcher.isActive())
        printError(u"終了シグナルの処理を設定できません。"_s);

    return QCoreApplication::exec();
}
