#include "common/programinfo.h"
#include "net/notificationclient.h"
#include "net/notificationprotocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

/// The program's environment: @p set added, every display variable not in @p set removed.
QProcessEnvironment environment(const QList<std::pair<QString, QString>>& set)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {u"QT_QPA_PLATFORM"_s, u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s})
        env.remove(name);
    for (const auto& [name, value] : set)
        env.insert(name, value);
    return env;
}

/**
 * Starts the program on a port the system picks (--port 0), with @p options, and waits until it listens.
 * @return the port it reports, 0 when it did not get that far.
 */
quint16 startService(QProcess& process, const QProcessEnvironment& env, const QStringList& options = {})
{
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TAVIK_MESSENGER_PATH), QStringList{u"--port"_s, u"0"_s} + options);
    if (!process.waitForStarted())
        return 0;
    static const QRegularExpression listening(u"ポート (\\d+) で待ち受けています"_s);
    for (;;) {
        while (process.canReadLine()) {
            const QRegularExpressionMatch match = listening.match(QString::fromUtf8(process.readLine()));
            if (match.hasMatch())
                return quint16(match.captured(1).toUInt());
        }
        if (process.state() != QProcess::Running || !process.waitForReadyRead(10000))
            return 0;
    }
}

/// Whether process @p pid runs (a zombie has ended).
bool running(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype state = line.lastIndexOf(')') + 2;
    return state > 1 && state < line.size() && line.at(state) != 'Z';
}

/// The running pop-up process of the service @p service, 0 when there is none.
qint64 popupProcessOf(qint64 service)
{
    const QStringList entries = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile status(u"/proc/"_s + entry + u"/status"_s);
        if (!number || !running(pid) || !status.open(QIODevice::ReadOnly))
            continue;
        if (!status.readAll().contains(QByteArray("\nPPid:\t" + QByteArray::number(service) + '\n')))
            continue;
        QFile command(u"/proc/"_s + entry + u"/cmdline"_s);
        if (command.open(QIODevice::ReadOnly) && command.readAll().split('\0').contains("--show-popups"))
            return pid;
    }
    return 0;
}

void stop(QProcess& process)
{
    ::kill(pid_t(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

} // namespace

class TestMessengerProgram final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsMessageRefusesSecondCopyAndEndsOnSigterm()
    {
        QProcess service;
        const quint16 port = startService(service, environment({{u"QT_QPA_PLATFORM"_s, u"offscreen"_s}}));
        QVERIFY(port != 0);

        net::NotificationClient client(nullptr, port);
        QCOMPARE(client.send(u"127.0.0.1"_s, u"こんにちは"_s), net::notification::StatusShown);

        QProcess second;
        second.setProcessEnvironment(environment({{u"QT_QPA_PLATFORM"_s, u"offscreen"_s}}));
        second.start(QStringLiteral(TAVIK_MESSENGER_PATH), {u"--port"_s, QString::number(port)});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(QString::fromUtf8(second.readAllStandardError()).contains(u"既に使われています"_s));

        stop(service);
    }

    // With a display, the pop-ups come from a process of the service's own that runs only while
    // there are any: it ends when its user has closed the last one, the next message starts another,
    // it never outlives the service, not even one that was killed. When the display ends (the
    // session ends), the service ends with it and takes its pop-up process along, as a program with
    // a window would. Needs Xvfb and xdotool.
    void popupProcessRunsWhilePopupsAreOpen()
    {
        const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_s);
        const QString xdotool = QStandardPaths::findExecutable(u"xdotool"_s);
        if (xvfb.isEmpty() || xdotool.isEmpty())
            QSKIP("Xvfb or xdotool is not installed");
        QProcess display;
        display.start(xvfb,
                      {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1024x768x24"_s, u"-nolisten"_s, u"tcp"_s});
        const auto endDisplay = qScopeGuard([&display] {
            display.kill();
            display.waitForFinished();
        });
        QVERIFY(display.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(display.canReadLine() || display.state() != QProcess::Running, 10000);
        const QString number = QString::fromUtf8(display.readLine()).trimmed();
        QVERIFY2(!number.isEmpty(), "Xvfb did not start");
        QProcessEnvironment env = environment({{u"DISPLAY"_s, u":"_s + number}, {u"QT_QPA_PLATFORM"_s, u"xcb"_s}});
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent"_s);
        const auto xdo = [&](const QStringList& arguments) {
            QProcess tool;
            tool.setProcessEnvironment(env);
            tool.start(xdotool, arguments);
            if (!tool.waitForFinished(10000))
                tool.kill();
            return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
        };

        QProcess service;
        const quint16 port = startService(service, env);
        QVERIFY(port != 0);
        QCOMPARE(popupProcessOf(service.processId()), 0); // idle: no connection to the display
        net::NotificationClient client(nullptr, port);
        QCOMPARE(client.send(u"127.0.0.1"_s, u"こんにちは"_s), net::notification::StatusShown);
        const qint64 first = popupProcessOf(service.processId());
        QVERIFY(first != 0);

        // Its user closes the pop-up with Enter (OK is the default button).
        const QString window = xdo({u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, u"からのメッセージ"_s});
        QVERIFY(!window.isEmpty());
        xdo({u"windowfocus"_s, u"--sync"_s, window});
        xdo({u"key"_s, u"Return"_s});
        QTRY_VERIFY_WITH_TIMEOUT(!running(first), 10000);

        QCOMPARE(client.send(u"127.0.0.1"_s, u"二通目"_s), net::notification::StatusShown);
        const qint64 second = popupProcessOf(service.processId());
        QVERIFY(second != 0);
        service.kill();
        QVERIFY(service.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT(!running(second), 10000);

        // This time the display is named by Qt's own option, which the service must heed too.
        QProcess orphaned;
        QProcessEnvironment noDisplay = env;
        noDisplay.remove(u"DISPLAY"_s);
        const quint16 orphanedPort = startService(orphaned, noDisplay, {u"-display"_s, u":"_s + number});
        QVERIFY(orphanedPort != 0);
        net::NotificationClient late(nullptr, orphanedPort);
        QCOMPARE(late.send(u"127.0.0.1"_s, u"x"_s), net::notification::StatusShown);
        const qint64 lastPopups = popupProcessOf(orphaned.processId());
        QVERIFY(lastPopups != 0);
        display.kill();
        QVERIFY(display.waitForFinished());
        QVERIFY(orphaned.waitForFinished(10000));
        QCOMPARE(orphaned.exitStatus(), QProcess::NormalExit);
        QCOMPARE(orphaned.exitCode(), 1);
        const QString error = QString::fromUtf8(orphaned.readAllStandardError());
        QVERIFY2(error.contains(u"tavik-messenger: 画面との接続が切れたため終了します。\n"_s), qPrintable(error));
        // The pop-up process ends with the display too; that is no separate fault to report.
        QVERIFY2(!error.contains(u"ポップアップを表示するプロセス"_s), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(!running(lastPopups), 10000);
    }

    void answers50WithoutDisplay_data()
    {
        QTest::addColumn<QString>("display");
        QTest::newRow("no display at all") << QString();
        QTest::newRow("stale DISPLAY") << u":97"_s;
    }
    void answers50WithoutDisplay()
    {
        QFETCH(QString, display);
        QList<std::pair<QString, QString>> set;
        if (!display.isEmpty())
            set.append({u"DISPLAY"_s, display});
        QProcess service;
        const quint16 port = startService(service, environment(set));
        QVERIFY(port != 0);
        net::NotificationClient client(nullptr, port);
        QCOMPARE(client.send(u"127.0.0.1"_s, u"x"_s), net::notification::StatusNoDisplay);
        stop(service);
    }

    void answersAfterBurstWithFewDescriptors_data()
    {
        QTest::addColumn<int>("softLimit");
        QTest::addColumn<int>("hardLimit");
        QTest::newRow("64 of 64") << 64 << 64;
        // The program raises its soft limit to the hard one itself.
        QTest::newRow("64 of 4096") << 64 << 4096;
    }
    void answersAfterBurstWithFewDescriptors()
    {
        QFETCH(int, softLimit);
        QFETCH(int, hardLimit);
        QProcess service;
        service.setChildProcessModifier([softLimit, hardLimit] {
            const rlimit limit{rlim_t(softLimit), rlim_t(hardLimit)};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        const quint16 port = startService(service, environment({}));
        QVERIFY(port != 0);

        // 200 silent connections from one address, far more than the service has descriptors.
        std::vector<std::unique_ptr<QTcpSocket>> burst;
        for (int i = 0; i < 200; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->bind(QHostAddress(u"127.0.0.3"_s));
            socket->connectToHost(QHostAddress::LocalHost, port);
            burst.push_back(std::move(socket));
        }
        // The burst has reached the service: each connection is made (or refused) before the check.
        QTRY_VERIFY(std::all_of(burst.cbegin(), burst.cend(), [](const auto& socket) {
            return socket->state() != QAbstractSocket::ConnectingState &&
                   socket->state() != QAbstractSocket::HostLookupState;
        }));

        // Another PC is answered within its 5 s: the service neither ran out of descriptors for good
        // nor let the burst hold it.
        QElapsedTimer elapsed;
        elapsed.start();
        net::NotificationClient client(nullptr, port);
        QCOMPARE(client.send(u"127.0.0.1"_s, u"x"_s), net::notification::StatusNoDisplay);
        QVERIFY2(elapsed.elapsed() < 5000, qPrintable(QString::number(elapsed.elapsed())));
        stop(service);
    }

    // Both programs read the same command line before anything else: help and version need no
    // display and touch nothing, a wrong option never gets as far as a window or a listening port.
    void commandLine_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");   // stdout contains this
        QTest::addColumn<QString>("error"); // the one line on stderr contains this ("" = nothing)
        const QString chat = QStringLiteral(TAVIK_CHAT_PATH);
        const QString service = QStringLiteral(TAVIK_MESSENGER_PATH);
        for (const QString& program : {chat, service}) {
            const QString name = QFileInfo(program).fileName();
            const QString version = QString::fromUtf16(common::program::Version);
            const auto row = [&](const char* what) -> QTestData& {
                return QTest::addRow("%s: %s", qPrintable(name), what);
            };
            row("help") << program << QStringList{u"--help"_s} << 0 << u"--version"_s << QString();
            row("-h") << program << QStringList{u"-h"_s} << 0 << u"Usage: "_s + name << QString();
            row("version") << program << QStringList{u"--version"_s} << 0 << name + u' ' + version + u'\n' << QString();
            row("Qt's option before -v") << program << QStringList{u"-platform"_s, u"offscreen"_s, u"-v"_s} << 0
                                         << name + u' ' + version + u'\n' << QString();
            row("unknown option") << program << QStringList{u"--colour"_s} << 2 << QString()
                                  << u"不明なオプションです: --colour"_s;
            row("unknown before help") << program << QStringList{u"--bogus"_s, u"--help"_s} << 2 << QString()
                                       << u"--bogus"_s;
            row("stray argument") << program << QStringList{u"PC2"_s} << 2 << QString() << u"余分な引数"_s;
        }
        QTest::addRow("tavik-messenger: --port without value")
            << service << QStringList{u"--port"_s} << 2 << QString() << u"--port"_s;
        // The connection check's own options: a wrong value ends it before anything is checked.
        QTest::addRow("tavik-light: help names the check")
            << chat << QStringList{u"--help"_s} << 0 << u"--check <PARTNER>"_s << QString();
        QTest::addRow("tavik-light: --check without partner")
            << chat << QStringList{u"--check"_s} << 2 << QString() << u"--check"_s;
        QTest::addRow("tavik-light: --check with an empty partner")
            << chat << QStringList{u"--check"_s, QString()} << 2 << QString()
            << u"相手のコンピュータ名か IP アドレス"_s;
        QTest::addRow("tavik-light: --role without --check")
            << chat << QStringList{u"--role"_s, u"PC2"_s} << 2 << QString() << u"--role は --check と一緒に"_s;
        QTest::addRow("tavik-light: unknown role")
            << chat << QStringList{u"--check"_s, u"pcb"_s, u"--role"_s, u"PC3"_s} << 2 << QString() << u"PC3"_s;
        QTest::addRow("tavik-light: no display")
            << chat << QStringList() << 1 << QString() << u"画面に接続できないため起動できません。Cannot start"_s;
    }
    void commandLine()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, error);
        // A home and a working folder of its own, to see that nothing is made in them.
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment env = environment({});
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_DATA_HOME"_s, home.path() + u"/data"_s);
        env.insert(u"XDG_CONFIG_HOME"_s, home.path() + u"/config"_s);
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.path());
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
        const QString stdOut = QString::fromUtf8(process.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
        if (error.isEmpty()) {
            QCOMPARE(stdErr, QString());
        } else {
            QVERIFY2(stdErr.contains(error), qPrintable(stdErr));
            QCOMPARE(stdErr.count(u'\n'), 1);
            QVERIFY(stdOut.isEmpty());
        }
        QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    // The windows announce the installed desktop entry's id as their Wayland app id, so that the
    // desktop finds their icon and groups them with their menu entry; the service, which shows its
    // windows from another process, still ends with the compositor. Needs weston and Qt's Wayland plugin.
    void windowsCarryTheDesktopFileName_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("desktopId");
        QTest::newRow("tavik-light") << QStringLiteral(TAVIK_CHAT_PATH)
                                     << QString::fromUtf16(common::program::ChatDesktopId);
        QTest::newRow("tavik-messenger") << QStringLiteral(TAVIK_MESSENGER_PATH)
                                         << QString::fromUtf16(common::program::ServiceDesktopId);
    }
    void windowsCarryTheDesktopFileName()
    {
        QFETCH(QString, program);
        QFETCH(QString, desktopId);
        // The id is the name of an entry the package installs.
        QVERIFY(
            QFileInfo::exists(qEnvironmentVariable("TAVIK_SOURCE_DIR") + u"/packaging/"_s + desktopId + u".desktop"_s));
        const QString weston = QStandardPaths::findExecutable(u"weston"_s);
        if (weston.isEmpty())
            QSKIP("weston is not installed");
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        QVERIFY(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcessEnvironment env = environment({{u"XDG_RUNTIME_DIR"_s, runtime.path()}});
        env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        QProcess compositor;
        compositor.setProcessEnvironment(env);
        compositor.start(
            weston, {u"--backend=headless-backend.so"_s, u"--socket=wayland-test"_s, u"--shell=desktop-shell.so"_s});
        QVERIFY(compositor.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            QFileInfo::exists(runtime.path() + u"/wayland-test"_s) || compositor.state() != QProcess::Running, 10000);
        if (compositor.state() != QProcess::Running)
            QSKIP("weston cannot run here");

        env.insert(u"WAYLAND_DISPLAY"_s, u"wayland-test"_s);
        env.insert(u"QT_QPA_PLATFORM"_s, u"wayland"_s);
        env.insert(u"WAYLAND_DEBUG"_s, u"1"_s);
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (program.endsWith(u"tavik-messenger"_s)) {
            // The service opens a window only for a message.
            const quint16 port = startService(process, env);
            QVERIFY(port != 0);
            net::NotificationClient client(nullptr, port);
            QCOMPARE(client.send(u"127.0.0.1"_s, u"x"_s), net::notification::StatusShown);
        } else {
            process.setProcessEnvironment(env);
            process.setWorkingDirectory(runtime.path());
            process.start(program, {});
            QVERIFY(process.waitForStarted());
        }
        QString log;
        const QString expected = u"set_app_id(\""_s + desktopId + u"\")"_s;
        QTRY_VERIFY_WITH_TIMEOUT((log += QString::fromUtf8(process.readAll())).contains(u"set_app_id("_s) ||
                                     process.state() != QProcess::Running,
                                 15000);
        if (program.endsWith(u"tavik-messenger"_s)) {
            // The compositor ends (the session ends): the service ends with it, as the program
            // with the window does.
            compositor.kill();
            QVERIFY(compositor.waitForFinished());
            QVERIFY(process.waitForFinished(10000));
            log += QString::fromUtf8(process.readAll());
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 1);
            QVERIFY2(log.contains(u"tavik-messenger: 画面との接続が切れたため終了します。\n"_s),
                     qPrintable(log.right(2000)));
        }
        process.kill();
        process.waitForFinished();
        compositor.kill();
        compositor.waitForFinished();
        if (!log.contains(u"set_app_id("_s) && log.contains(u"wayland"_s, Qt::CaseInsensitive) &&
            !log.contains(u"xdg_toplevel"_s))
            QSKIP("Qt's Wayland plugin is not installed");
        QVERIFY2(log.contains(expected), qPrintable(log.right(2000)));
    }

    void rejectsBadPortArgument()
    {
        QProcess service;
        service.setProcessEnvironment(environment({}));
        service.start(QStringLiteral(TAVIK_MESSENGER_PATH), {u"--port"_s, u"70000"_s});
        QVERIFY(service.waitForFinished(10000));
        QCOMPARE(service.exitCode(), 2);
    }
};

QTEST_GUILESS_MAIN(TestMessengerProgram)
#include "tst_messengerprogram.moc"
