#include "messenger/protocol.h"
#include "platform/messenger.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <memory>
#include <vector>

#include <sys/resource.h>

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
        const quint16 port = freePort();
        QProcess service;
        service.setChildProcessModifier([softLimit, hardLimit] {
            const rlimit limit{rlim_t(softLimit), rlim_t(hardLimit)};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        QVERIFY(startService(service, port, environment({})));

        // 200 silent connections from one address, far more than the service has descriptors.
        std::vector<std::unique_ptr<QTcpSocket>> burst;
        for (int i = 0; i < 200; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->bind(QHostAddress(u"127.0.0.3"_s));
            socket->connectToHost(QHostAddress::LocalHost, port);
            burst.push_back(std::move(socket));
        }
        QTest::qWait(200);

        // Another PC is answered within its 5 s: the service neither ran out of descriptors for good
        // nor let the burst hold it.
        QElapsedTimer elapsed;
        elapsed.start();
        platform::Messenger client(nullptr, port);
        QCOMPARE(client.send(u"127.0.0.1"_s, u"x"_s), messenger::protocol::StatusNoDisplay);
        QVERIFY2(elapsed.elapsed() < 5000, qPrintable(QString::number(elapsed.elapsed())));
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
