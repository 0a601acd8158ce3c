// tavik-messenger: the per-user notification service. Shows each message another PC sends to TCP
// port 31001 in a pop-up; without a display it keeps running and answers that it cannot show any.

#include "common/programinfo.h"
#include "messenger/descriptorlimit.h"
#include "messenger/displayprobe.h"
#include "messenger/notificationserver.h"
#include "messenger/popuppresenter.h"
#include "messenger/protocol.h"
#include "messenger/servicepublisher.h"
#include "platform/commandline.h"
#include "platform/japaneseenvironment.h"
#include "platform/programicon.h"
#include "platform/terminationwatcher.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

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
    platform::CommandLine commandLine(
        QString::fromUtf16(common::program::ServiceProgram),
        u"Tavik Light の通知サービス: 相手が接続したことを知らせるポップアップを表示します。\n"_s
        u"The Tavik Light notification service: shows the notice that a partner has connected. "_s
        u"See tavik-messenger(1)."_s);
    const QCommandLineOption portOption(u"port"_s, u"待ち受ける TCP ポート (既定 31001) (TCP port to listen on)。"_s,
                                        u"port"_s, QString::number(messenger::protocol::DefaultPort));
    commandLine.parser().addOption(portOption);
    if (const auto status = commandLine.read(platform::CommandLine::arguments(argc, argv)))
        return *status;

    // Before anything opens descriptors: room for a burst of connections that are refused at once.
    messenger::raiseDescriptorLimit();

    // Decided before the application object exists: QApplication cannot be made without a display.
    const bool display = messenger::displayAvailable(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (display)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QString::fromUtf16(common::program::ServiceProgram));
    QCoreApplication::setApplicationVersion(QString::fromUtf16(common::program::Version));
    platform::applyJapaneseEnvironment(*app);

    bool portValid = false;
    const uint port = commandLine.parser().value(portOption).toUInt(&portValid);
    // 0 lets the system pick a free port (tests); the line printed once listening names it.
    if (!portValid || port > 65535) {
        printError(u"ポート番号が正しくありません: "_s + commandLine.parser().value(portOption));
        return 2;
    }

    std::unique_ptr<messenger::Presenter> presenter;
    if (display) {
        QApplication::setWindowIcon(platform::programIcon());
        // The pop-ups belong to the service's own (hidden) desktop entry: the Wayland app id and the
        // X11 window class by which the desktop finds its name and icon.
        QGuiApplication::setDesktopFileName(QString::fromUtf16(common::program::ServiceDesktopId));
        // The service outlives its pop-ups.
        QApplication::setQuitOnLastWindowClosed(false);
        presenter = std::make_unique<messenger::PopupPresenter>();
    } else {
        printError(u"画面に接続できないため、ポップアップは表示できません (受け取った通知には 50 で応答します)。"_s);
        presenter = std::make_unique<messenger::NoDisplayPresenter>();
    }

    messenger::NotificationServer server(*presenter, quint16(port));
    if (const auto failure = server.listen()) {
        if (failure->error == QAbstractSocket::AddressInUseError)
            printError(
                u"ポート %1 は既に使われています。通知サービスが既に動いているか、別のプログラムがこのポートを使っています。"_s
                    .arg(port));
        else
            printError(u"ポート %1 で待ち受けできません: %2"_s.arg(port).arg(failure->reason));
        return 1;
    }
    QObject::connect(&server, &messenger::NotificationServer::acceptingPaused, &server, [](const QString& reason) {
        printError(u"接続を受け付けられません（%1）。しばらくして受け付けを再開します。"_s.arg(reason));
    });
    std::printf("tavik-messenger: %s\n", qPrintable(u"TCP ポート %1 で待ち受けています。"_s.arg(server.port())));
    std::fflush(stdout);
    // Lets the partner's computer browser find this computer; without an Avahi daemon nothing happens.
    messenger::ServicePublisher publisher(server.port());
    publisher.start();

    // A termination signal ends the service through its normal path: pop-ups closed, port released.
    platform::TerminationWatcher watcher;
    QObject::connect(&watcher, &platform::TerminationWatcher::terminationRequested, app.get(),
                     [](int) { QCoreApplication::quit(); });
    if (!watcher.isActive())
        printError(u"終了シグナルの処理を設定できません。"_s);

    return app->exec();
}
