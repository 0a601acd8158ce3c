#include "messenger/protocol.h"
#include "platform/messenger.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
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
