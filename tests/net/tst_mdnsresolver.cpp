// The mDNS resolver's rules that need no daemon: which names it takes, how it reads the name
// service configuration, and how it fails without a bus. The lookups themselves run against a real
// daemon in tst_avahi_e2e.

#include "net/mdnsresolver.h"

#include <QDBusConnection>
#include <QTest>

using namespace std::chrono_literals;
using net::MdnsResolver;

class TestMdnsResolver final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void localName_data();
    void localName();
    void hostsLine_data();
    void hostsLine();
    void failsWithReasonWithoutBus();
    void refusesNamesThatAreNotLocal();
    void passedDeadlineAsksNobody();
};

void TestMdnsResolver::localName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("fqdn");
    QTest::newRow("bare name") << QStringLiteral("pcb") << QStringLiteral("pcb.local");
    QTest::newRow("already local") << QStringLiteral("pcb.local") << QStringLiteral("pcb.local");
    QTest::newRow("absolute, upper case") << QStringLiteral("PCB.LOCAL.") << QStringLiteral("PCB.LOCAL");
    QTest::newRow("japanese") << QStringLiteral("経理部のPC") << QStringLiteral("経理部のPC.local");
    QTest::newRow("63-byte label") << QString(63, u'a') << QString(63, u'a') + QStringLiteral(".local");
    QTest::newRow("64-byte label") << QString(64, u'a') << QString();
    // 22 characters of three UTF-8 bytes each are 66 bytes: too long for one label.
    QTest::newRow("long in UTF-8") << QString(22, QChar(0x3042)) << QString();
    QTest::newRow("other domain") << QStringLiteral("pcb.example.org") << QString();
    QTest::newRow("IPv4 literal") << QStringLiteral("192.168.1.5") << QString();
    QTest::newRow("IPv6 literal") << QStringLiteral("fe80::1") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("only a dot") << QStringLiteral(".") << QString();
    QTest::newRow("empty label") << QStringLiteral("a..local") << QString();
    QTest::newRow("blank inside") << QStringLiteral("pc b") << QString();
    QTest::newRow("leading blank") << QStringLiteral(" pcb") << QString();
    QTest::newRow("unc") << QStringLiteral("\\\\pcb") << QString();
    QTest::newRow("control") << QStringLiteral("pc\tb") << QString();
    QTest::newRow("NUL") << QString::fromUtf16(u"pcb\0", 4) << QString();
}

void TestMdnsResolver::localName()
{
    QFETCH(QString, name);
    QFETCH(QString, fqdn);
    QCOMPARE(MdnsResolver::localName(name), fqdn);
}

void TestMdnsResolver::hostsLine_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("mdns");
    QTest::newRow("plain") << QByteArray("passwd: files\nhosts:          files dns\n") << false;
    QTest::newRow("debian with nss-mdns")
        << QByteArray("hosts: files mdns4_minimal [NOTFOUND=return] dns myhostname\n") << true;
    QTest::newRow("tabs") << QByteArray("hosts:\tfiles\tmdns\n") << true;
    QTest::newRow("commented out") << QByteArray("#hosts: files mdns4_minimal\nhosts: files dns\n") << false;
    QTest::newRow("in a trailing comment") << QByteArray("hosts: files dns # mdns4 later\n") << false;
    QTest::newRow("other database") << QByteArray("networks: mdns\nhosts: files dns\n") << false;
    QTest::newRow("no newline at end") << QByteArray("hosts: files mdns") << true;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestMdnsResolver::hostsLine()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, mdns);
    QCOMPARE(MdnsResolver::hostsLineHasMdns(content), mdns);
}

void TestMdnsResolver::failsWithReasonWithoutBus()
{
    const QDBusConnection noBus =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/tavik-test-bus"), QStringLiteral("nobus"));
    const MdnsResolver resolver(noBus, QStringLiteral("/nonexistent/nsswitch.conf"));
    const net::Resolution result = resolver.resolve(QStringLiteral("pcb"), MdnsResolver::Clock::now() + 2s);
    QDBusConnection::disconnectFromBus(QStringLiteral("nobus"));
    QVERIFY(result.addresses.isEmpty());
    QVERIFY2(result.error.contains(QStringLiteral("pcb.local")), qPrintable(result.error));
    QVERIFY2(result.error.contains(QStringLiteral("D-Bus")), qPrintable(result.error));
}

void TestMdnsResolver::refusesNamesThatAreNotLocal()
{
    const MdnsResolver resolver(QDBusConnection(QStringLiteral("unused")), QStringLiteral("/nonexistent"));
    const net::Resolution result = resolver.resolve(QStringLiteral("pcb.example.org"), MdnsResolver::Clock::now() + 2s);
    QVERIFY(result.addresses.isEmpty());
    QVERIFY(result.error.contains(QStringLiteral("pcb.example.org")));
}

void TestMdnsResolver::passedDeadlineAsksNobody()
{
    const MdnsResolver resolver(QDBusConnection(QStringLiteral("unused")), QStringLiteral("/nonexistent"));
    const net::Resolution result = resolver.resolve(QStringLiteral("pcb"), MdnsResolver::Clock::now() - 1ms);
    QVERIFY(result.addresses.isEmpty());
    QVERIFY2(result.error.contains(QStringLiteral("時間内")), qPrintable(result.error));
}

QTEST_GUILESS_MAIN(TestMdnsResolver)
#include "tst_mdnsresolver.moc"
