#include "common/programinfo.h"
#include "messenger/protocol.h"
#include "platform/messenger.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any);
    return probe.serverPort();
}

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

/// Starts the program on @p port and waits until it listens.
bool startService(QProcess& process, quint16 port, const QProcessEnvironment& env)
{
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TAVIK_MESSENGER_PATH), {u"--port"_s, QString::number(port)});
    if (!process.waitForStarted())
        return false;
    for (int attempt = 0; attempt < 100 && process.state() == QProcess::Running; ++attempt) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(100))
            return true;
        QTest::qWait(100);
    }
    return false;
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
        const quint16 port = freePort();
        QProcess service;
        QVERIFY(startService(service, port, environment({{u"QT_QPA_PLATFORM"_s, u"offscreen"_s}})));

        platform::Messenger client(nullptr, port);
        QCOMPARE(client.send(u"127.0.0.1"_s, u"こんにちは"_s), messenger::protocol::StatusShown);

        QProcess second;
        second.setProcessEnvironment(environment({{u"QT_QPA_PLATFORM"_s, u"offscreen"_s}}));
        second.start(QStringLiteral(TAVIK_MESSENGER_PATH), {u"--port"_s, QString::number(port)});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(QString::fromUtf8(second.readAllStandardError()).contains(u"既に使われています"_s));

        stop(service);
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
        const quint16 port = freePort();
        QProcess service;
        QVERIFY(startService(service, port, environment(set)));
        platform::Messenger client(nullptr, port);
        QCOMPARE(client.send(u"127.0.0.1"_s, u"x"_s), messenger::protocol::StatusNoDisplay);
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
