// Browsing and publishing where no system bus can be reached: both say so and keep going.

#include "messenger/service/servicepublisher.h"
#include "net/avahibrowsesession.h"
#include "net/computerbrowsermodel.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

using messenger::service::ServicePublisher;
using net::ComputerBrowserModel;

class TestAvahiWithoutBus final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void browsingSaysWhyAndStaysEmpty();
    void publisherWaitsWithoutFailing();

private:
    QDBusConnection m_noBus{QStringLiteral("unused")};
};

void TestAvahiWithoutBus::init()
{
    m_noBus =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/tavik-test-bus"), QStringLiteral("nobus"));
    QVERIFY(!m_noBus.isConnected());
}

void TestAvahiWithoutBus::cleanup()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));
}

void TestAvahiWithoutBus::browsingSaysWhyAndStaysEmpty()
{
    ComputerBrowserModel model;
    net::AvahiBrowseSession session(model, m_noBus);
    for (int attempt = 0; attempt < 2; ++attempt) { // the refresh button starts again
        session.start();
        QCOMPARE(model.status(), ComputerBrowserModel::Status::Unavailable);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.problem(), ComputerBrowserModel::Problem::NoSystemBus);
    }
}

void TestAvahiWithoutBus::publisherWaitsWithoutFailing()
{
    ServicePublisher publisher(31001, QStringLiteral("pcb"), m_noBus);
    QSignalSpy changed(&publisher, &ServicePublisher::stateChanged);
    QCOMPARE(publisher.state(), ServicePublisher::State::Stopped);
    publisher.start();
    QCOMPARE(publisher.state(), ServicePublisher::State::NoDaemon);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(publisher.publishedName(), QStringLiteral("pcb"));
    publisher.start(); // a second start changes nothing
    QCOMPARE(changed.size(), 1);
}

QTEST_GUILESS_MAIN(TestAvahiWithoutBus)
#include "tst_avahinobus.moc"
