// Termination signals reach the event loop as a Qt signal, and the old handlers come back.
#include "os/terminationwatcher.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

class TestTerminationWatcher final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachSignalArrivesInTheEventLoop()
    {
        os::TerminationWatcher watcher;
        QVERIFY(watcher.isActive());
        QSignalSpy spy(&watcher, &os::TerminationWatcher::terminationRequested);
        for (const int signalNumber : {SIGTERM, SIGHUP, SIGINT})
            QCOMPARE(::raise(signalNumber), 0); // would end the test if the handler were missing
        QTRY_COMPARE(spy.size(), 3);
        QCOMPARE(spy.at(0).at(0).toInt(), SIGTERM);
        QCOMPARE(spy.at(1).at(0).toInt(), SIGHUP);
        QCOMPARE(spy.at(2).at(0).toInt(), SIGINT);
    }

    void previousHandlersComeBack()
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        struct sigaction before = {};
        QCOMPARE(::sigaction(SIGHUP, &ignore, &before), 0);
        {
            os::TerminationWatcher watcher;
            struct sigaction during = {};
            ::sigaction(SIGHUP, nullptr, &during);
            QVERIFY(during.sa_handler != SIG_IGN);
        }
        struct sigaction after = {};
        ::sigaction(SIGHUP, nullptr, &after);
        QVERIFY(after.sa_handler == SIG_IGN);
        ::sigaction(SIGHUP, &before, nullptr);
    }

    void onlyOneWatcherOwnsTheHandlers()
    {
        os::TerminationWatcher first;
        os::TerminationWatcher second;
        QVERIFY(first.isActive());
        QVERIFY(!second.isActive());
        QSignalSpy spy(&first, &os::TerminationWatcher::terminationRequested);
        ::raise(SIGTERM);
        QTRY_COMPARE(spy.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTerminationWatcher)
#include "tst_terminationwatcher.moc"
