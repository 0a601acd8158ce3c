#include "net/datagramsocket.h"
#include "net/hostresolver.h"
#include "net/socketerror.h"
#include "net/winsockerrors.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <memory>

#include <grp.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using net::DatagramSocket;
using net::HostResolver;
using net::Resolution;
namespace winsock = net::winsock;

namespace {

// The chat's ports: this side is PC1, receiving on 1002 and sending to the partner's 1001.
constexpr quint16 OwnPort = 1002;
constexpr quint16 PartnerPort = 1001;
constexpr const char* BindAsNobody = "--bind-as-nobody";

/// A socket set up the way the connect button sets it up.
std::unique_ptr<DatagramSocket> chatSocket(const QString& remoteHost, HostResolver* resolver = nullptr)
{
    auto socket = std::make_unique<DatagramSocket>(nullptr, resolver);
    socket->setProtocol(DatagramSocket::Udp);
    socket->setRemoteHost(remoteHost);
    socket->setRemotePort(PartnerPort);
    socket->setLocalPort(OwnPort);
    return socket;
}

/// The next datagram the plain peer socket receives, or an invalid one when none comes.
QNetworkDatagram nextDatagram(QUdpSocket& peer)
{
    if (!peer.hasPendingDatagrams() && !peer.waitForReadyRead(5000))
        return {};
    return peer.receiveDatagram();
}

/// Records every dataArrival with the bytes the socket reports for it.
struct ArrivalLog
{
    QList<QByteArray> bytes;
    QList<qint64> sizes;

    void attach(DatagramSocket& socket, QObject* context)
    {
        QObject::connect(&socket, &DatagramSocket::dataArrival, context, [this, &socket](qint64 size) {
            bytes.append(socket.getData().toLatin1());
            sizes.append(size);
        });
    }
};

/// Whether a bound socket gets a receive buffer of @p bytes: the socket asks for 4 MiB, which
/// only root may force past net.core.rmem_max (the system doubles what it grants).
bool receiveBufferHolds(qint64 bytes)
{
    if (::geteuid() == 0)
        return true;
    QFile limit(u"/proc/sys/net/core/rmem_max"_s);
    return limit.open(QIODevice::ReadOnly) && 2 * limit.readAll().trimmed().toLongLong() >= bytes;
}

/// Child mode: drop to the user nobody, then try to bind the port; prints "code state errno".
int bindAsUnprivilegedUser(int argc, char** argv)
{
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
        return 3;
    QCoreApplication app(argc, argv);
    DatagramSocket socket;
    socket.setProtocol(DatagramSocket::Udp);
    socket.setLocalPort(static_cast<quint16>(QByteArray(argv[2]).toUInt()));
    const common::Status result = socket.bind();
    std::printf("%d %d %d\n", net::winsockCode(result), socket.state(), result.sysErrno());
    return 0;
}

} // namespace

class tst_DatagramSocket final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void bindCloseAndBindAgain();
    void portInUseLeavesTheSocketClosed();
    void portWithoutPermission();
    void sendsExactBytesFromTheOwnPort_data();
    void sendsExactBytesFromTheOwnPort();
    void failedSendsSendNothing_data();
    void failedSendsSendNothing();
    void largestPayloadArrivesWhole();
    void oneArrivalPerPendingDatagram();
    void reportsEachDatagramsSource_data();
    void reportsEachDatagramsSource();
    void nestedEventLoopInHandlerKeepsOrder();
    void closingInHandlerStopsDelivery();
    void nothingArrivesAfterClose();
    void reportsRefusedPort_data();
    void reportsRefusedPort();
};

void tst_DatagramSocket::initTestCase()
{
    DatagramSocket probe;
    probe.setProtocol(DatagramSocket::Udp);
    probe.setLocalPort(OwnPort);
    const common::Status result = probe.bind();
    if (net::winsockCode(result) == winsock::AccessDenied)
        QSKIP("ports 1001/1002 cannot be bound: not root and no network namespace of our own (scripts/in-netns.sh)");
    if (net::winsockCode(result) == winsock::AddressInUse)
        QSKIP("port 1002 is in use on this machine; run the test through ctest, in a network namespace");
    QVERIFY2(result.isOk(), qPrintable(QString::number(result.sysErrno())));
}

void tst_DatagramSocket::bindCloseAndBindAgain()
{
    DatagramSocket socket;
    QCOMPARE(socket.state(), 0);
    QVERIFY(!socket.sendData(u"x"_s).isOk()); // closed: 40006
    QCOMPARE(net::winsockCode(socket.sendData(u"x"_s)), int(winsock::WrongState));

    socket.setProtocol(DatagramSocket::Udp);
    socket.setLocalPort(OwnPort);
    QVERIFY(socket.bind().isOk());
    QVERIFY(socket.state() != 0);
    QCOMPARE(socket.localPort(), OwnPort);
    QCOMPARE(net::winsockCode(socket.bind()), int(winsock::WrongState));

    socket.close();
    QCOMPARE(socket.state(), 0);
    const common::Status again = socket.bind();
    QVERIFY2(again.isOk(), qPrintable(QString::number(again.sysErrno())));
    QVERIFY(socket.state() != 0);

    // Port 0 takes a free port and reports it.
    DatagramSocket any;
    QVERIFY(any.bind().isOk());
    QVERIFY(any.localPort() != 0);
}

void tst_DatagramSocket::portInUseLeavesTheSocketClosed()
{
    // IPv4 alone on the port is enough: our socket takes IPv4 and IPv6 together.
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, OwnPort));
    auto socket = chatSocket(u"127.0.0.1"_s);
    const common::Status result = socket->bind();
    QCOMPARE(net::winsockCode(result), int(winsock::AddressInUse));
    QCOMPARE(result.sysErrno(), EADDRINUSE);
    QCOMPARE(socket->state(), 0);

    holder.close();
    QVERIFY(socket->bind().isOk());
    auto second = chatSocket(u"127.0.0.1"_s);
    QCOMPARE(net::winsockCode(second->bind()), int(winsock::AddressInUse));
    QCOMPARE(second->state(), 0);
}

void tst_DatagramSocket::portWithoutPermission()
{
    if (::geteuid() != 0)
        QSKIP("needs root to start a child as the user nobody");
    QFile start(u"/proc/sys/net/ipv4/ip_unprivileged_port_start"_s);
    if (start.open(QIODevice::ReadOnly) && start.readAll().trimmed().toInt() <= PartnerPort)
        QSKIP("ports below 1024 are not privileged on this system (ip_unprivileged_port_start)");

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(BindAsNobody), u"1001"_s});
    QVERIFY(child.waitForFinished(20000));
    if (child.exitCode() == 3)
        QSKIP("cannot change to the user nobody here");
    QCOMPARE(child.exitCode(), 0);
    const QString output = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    QCOMPARE(output, u"10013 0 %1"_s.arg(EACCES));
}

void tst_DatagramSocket::sendsExactBytesFromTheOwnPort_data()
{
    QTest::addColumn<QString>("remoteHost");
    QTest::addColumn<QString>("peerAddress");
    QTest::newRow("IPv4 literal") << u"127.0.0.1"_s << u"127.0.0.1"_s;
    QTest::newRow("host name") << u"localhost"_s << u"127.0.0.1"_s;
    QTest::newRow("IPv6 literal") << u"::1"_s << u"::1"_s;
}

void tst_DatagramSocket::sendsExactBytesFromTheOwnPort()
{
    QFETCH(QString, remoteHost);
    QFETCH(QString, peerAddress);
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(peerAddress), PartnerPort));
    auto socket = chatSocket(remoteHost);
    QVERIFY(socket->bind().isOk());

    QVERIFY(socket->sendData(u"こんにちは、世界 ﾃｽﾄ!"_s).isOk());
    const QNetworkDatagram datagram = nextDatagram(peer);
    QCOMPARE(datagram.data().toHex(), QByteArray("82b182f182c982bf82cd814190a28a4520c3bdc421"));
    QCOMPARE(datagram.senderPort(), int(OwnPort));

    // An empty text is an empty datagram, not none.
    QVERIFY(socket->sendData(QString()).isOk());
    const QNetworkDatagram empty = nextDatagram(peer);
    QVERIFY(empty.isValid());
    QCOMPARE(empty.data().size(), 0);
}

void tst_DatagramSocket::failedSendsSendNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("remoteHost");
    QTest::addColumn<int>("code");
    QTest::newRow("unresolvable name") << u"hello"_s << u"no-such-pc"_s << int(winsock::Fault);
    QTest::newRow("empty host") << u"hello"_s << QString() << int(winsock::Fault);
    QTest::newRow("Hangul") << u"안녕"_s << u"127.0.0.1"_s << int(winsock::InvalidArgument);
    QTest::newRow("emoji") << u"了解😀"_s << u"127.0.0.1"_s << int(winsock::InvalidArgument);
    QTest::newRow("one byte too long") << QString(65508, u'a') << u"127.0.0.1"_s << int(winsock::MessageTooLong);
    QTest::newRow("too long in double bytes")
        << QString(32754, u'あ') << u"127.0.0.1"_s << int(winsock::MessageTooLong);
}

void tst_DatagramSocket::failedSendsSendNothing()
{
    QFETCH(QString, text);
    QFETCH(QString, remoteHost);
    QFETCH(int, code);
    // Names other than IP literals fail at once, as the name service does for an unknown PC.
    HostResolver resolver([](const QString&) { return Resolution{{}, u"コンピュータ名が見つかりません。"_s}; });
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress::LocalHost, PartnerPort));
    auto socket = chatSocket(remoteHost, &resolver);
    QVERIFY(socket->bind().isOk());

    const common::Status result = socket->sendData(text);
    QCOMPARE(net::winsockCode(result), code);
    if (code == winsock::Fault && !remoteHost.isEmpty())
        QCOMPARE(result.detail(), u"コンピュータ名が見つかりません。"_s); // the resolver's reason

    // The first datagram the peer sees is the one sent after the failure.
    socket->setRemoteHost(u"127.0.0.1"_s);
    QVERIFY(socket->sendData(u"後"_s).isOk());
    QCOMPARE(nextDatagram(peer).data(), QByteArray("\x8c\xe3"));
}

void tst_DatagramSocket::largestPayloadArrivesWhole()
{
    auto receiver = chatSocket(u"127.0.0.1"_s);
    QVERIFY(receiver->bind().isOk());
    ArrivalLog log;
    log.attach(*receiver, this);

    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress::LocalHost, PartnerPort));
    QByteArray largest(65507, 'x');
    largest[0] = 'a';
    largest[65506] = 'z';
    QCOMPARE(peer.writeDatagram(largest, QHostAddress::LocalHost, OwnPort), qint64(largest.size()));
    QTRY_COMPARE(log.bytes.size(), 1);
    QCOMPARE(log.sizes.constFirst(), qint64(largest.size()));
    QVERIFY(log.bytes.constFirst() == largest);

    // And the same size goes out from our side.
    QVERIFY(receiver->sendData(QString::fromLatin1(largest)).isOk());
    QCOMPARE(nextDatagram(peer).data().size(), largest.size());
}

void tst_DatagramSocket::oneArrivalPerPendingDatagram()
{
    auto socket = chatSocket(u"127.0.0.1"_s);
    QVERIFY(socket->bind().isOk());
    // A small datagram takes about 800 bytes of the kernel's buffer; a smaller buffer drops some.
    if (!receiveBufferHolds(1536 * 1000))
        QSKIP("the receive buffer cannot hold 1000 datagrams here: raise net.core.rmem_max or run as root");
    QList<QString> texts;
    QList<qint64> sizes;
    connect(socket.get(), &DatagramSocket::dataArrival, this, [&](qint64 size) {
        texts.append(socket->getData());
        sizes.append(size);
    });

    // All of them are queued before the event loop gets a chance to deliver any.
    QUdpSocket peer;
    constexpr int Count = 1000;
    for (int i = 0; i < Count; ++i) {
        const QByteArray payload = "\x83\x81\x83\x62\x83\x5a\x81\x5b\x83\x57" + QByteArray::number(i); // メッセージ
        QCOMPARE(peer.writeDatagram(payload, QHostAddress::LocalHost, OwnPort), qint64(payload.size()));
    }
    QVERIFY(peer.writeDatagram("end", QHostAddress::LocalHost, OwnPort) == 3);
    QTRY_VERIFY(!texts.isEmpty() && texts.constLast() == u"end"_s);

    QCOMPARE(texts.size(), Count + 1);
    for (int i = 0; i < Count; ++i) {
        QCOMPARE(texts.at(i), u"メッセージ"_s + QString::number(i));
        QCOMPARE(sizes.at(i), qint64(10 + QByteArray::number(i).size()));
    }
    QVERIFY(socket->getData().isEmpty()); // outside a handler there is no current datagram
}

void tst_DatagramSocket::reportsEachDatagramsSource_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<quint16>("fromPort");
    QTest::newRow("partner's address and port") << u"127.0.0.1"_s << PartnerPort;
    QTest::newRow("another address") << u"127.0.0.2"_s << PartnerPort;
    QTest::newRow("another port") << u"127.0.0.1"_s << quint16(40001);
    QTest::newRow("IPv6") << u"::1"_s << PartnerPort;
}

void tst_DatagramSocket::reportsEachDatagramsSource()
{
    QFETCH(QString, from);
    QFETCH(quint16, fromPort);
    auto socket = chatSocket(u"127.0.0.1"_s);
    QVERIFY(socket->bind().isOk());
    QUdpSocket peer;
    if (!peer.bind(QHostAddress(from), fromPort))
        QSKIP(qPrintable(u"cannot send from %1 here: %2"_s.arg(from, peer.errorString())));
    struct Arrival
    {
        QByteArray bytes;
        QHostAddress address;
        quint16 port;
    };
    QList<Arrival> arrivals;
    connect(socket.get(), &DatagramSocket::dataArrival, this, [&](qint64) {
        arrivals.append({socket->getData().toLatin1(), socket->sourceAddress(), socket->sourcePort()});
    });
    // Two in a row, so that each of a batch is reported with its own source.
    const QHostAddress to = QHostAddress(from).protocol() == QAbstractSocket::IPv6Protocol
                                ? QHostAddress(QHostAddress::LocalHostIPv6)
                                : QHostAddress(QHostAddress::LocalHost);
    QCOMPARE(peer.writeDatagram("1", to, OwnPort), qint64(1));
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::LocalHost, 0));
    QCOMPARE(other.writeDatagram("2", QHostAddress::LocalHost, OwnPort), qint64(1));
    QTRY_COMPARE(arrivals.size(), 2);

    // IPv4 comes in on the dual-stack socket as IPv4-mapped IPv6; it is reported as plain IPv4.
    QCOMPARE(arrivals.at(0).bytes, "1"_ba);
    QCOMPARE(arrivals.at(0).address.toString(), QHostAddress(from).toString());
    QCOMPARE(arrivals.at(0).port, fromPort);
    QCOMPARE(arrivals.at(1).address.toString(), u"127.0.0.1"_s);
    QCOMPARE(arrivals.at(1).port, other.localPort());
    QVERIFY(socket->sourceAddress().isNull()); // outside a handler there is no current datagram
    QCOMPARE(socket->sourcePort(), quint16(0));
}

void tst_DatagramSocket::nestedEventLoopInHandlerKeepsOrder()
{
    auto socket = chatSocket(u"127.0.0.1"_s);
    QVERIFY(socket->bind().isOk());
    QUdpSocket peer;
    auto sendNumbers = [&peer](int from, int to) {
        for (int i = from; i < to; ++i)
            peer.writeDatagram(QByteArray::number(i), QHostAddress::LocalHost, OwnPort);
    };

    QList<QByteArray> received;
    int depth = 0;
    int deepest = 0;
    QByteArray currentAfterNestedLoop;
    connect(socket.get(), &DatagramSocket::dataArrival, this, [&](qint64) {
        deepest = std::max(deepest, ++depth);
        received.append(socket->getData().toLatin1());
        if (received.size() == 1) {
            // Like a modal message box: more datagrams arrive while a nested loop runs.
            sendNumbers(5, 10);
            QEventLoop nested;
            QTimer::singleShot(200, &nested, &QEventLoop::quit);
            nested.exec();
            currentAfterNestedLoop = socket->getData().toLatin1();
        }
        --depth;
    });

    sendNumbers(0, 5);
    QTRY_COMPARE(received.size(), 10);
    QCOMPARE(deepest, 1);
    QCOMPARE(currentAfterNestedLoop, QByteArray("0"));
    for (int i = 0; i < 10; ++i)
        QCOMPARE(received.at(i), QByteArray::number(i));

    // Nothing more was pending: a further datagram is the next arrival.
    sendNumbers(10, 11);
    QTRY_COMPARE(received.size(), 11);
    QCOMPARE(received.constLast(), QByteArray("10"));
}

void tst_DatagramSocket::closingInHandlerStopsDelivery()
{
    auto socket = chatSocket(u"127.0.0.1"_s);
    QVERIFY(socket->bind().isOk());
    QList<QByteArray> received;
    connect(socket.get(), &DatagramSocket::dataArrival, this, [&](qint64) {
        received.append(socket->getData().toLatin1());
        if (received.size() == 1)
            socket->close();
    });
    QUdpSocket peer;
    for (int i = 0; i < 10; ++i)
        peer.writeDatagram(QByteArray::number(i), QHostAddress::LocalHost, OwnPort);
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(socket->state(), 0);

    QVERIFY(socket->bind().isOk());
    peer.writeDatagram("after", QHostAddress::LocalHost, OwnPort);
    QTRY_COMPARE(received.size(), 2);
    QCOMPARE(received.at(1), QByteArray("after"));

    // A handler that destroys the socket ends the delivery too, without touching it afterwards.
    bool destroyedInHandler = false;
    connect(socket.get(), &DatagramSocket::dataArrival, this, [&](qint64) {
        socket.reset();
        destroyedInHandler = true;
    });
    for (int i = 0; i < 10; ++i)
        peer.writeDatagram(QByteArray::number(i), QHostAddress::LocalHost, OwnPort);
    QTRY_VERIFY(destroyedInHandler);
    QCOMPARE(received.size(), 3);
}

void tst_DatagramSocket::nothingArrivesAfterClose()
{
    auto socket = chatSocket(u"127.0.0.1"_s);
    QVERIFY(socket->bind().isOk());
    ArrivalLog log;
    log.attach(*socket, this);
    socket->close();

    QUdpSocket peer;
    peer.writeDatagram("while closed", QHostAddress::LocalHost, OwnPort);
    QCoreApplication::processEvents();
    QVERIFY(socket->bind().isOk());
    peer.writeDatagram("bound again", QHostAddress::LocalHost, OwnPort);
    QTRY_COMPARE(log.bytes.size(), 1);
    QCOMPARE(log.bytes.constFirst(), QByteArray("bound again"));
}

void tst_DatagramSocket::reportsRefusedPort_data()
{
    QTest::addColumn<QString>("remoteHost");
    QTest::newRow("IPv4") << u"127.0.0.1"_s;
    QTest::newRow("IPv6") << u"::1"_s;
}

void tst_DatagramSocket::reportsRefusedPort()
{
    QFETCH(QString, remoteHost);
    auto socket = chatSocket(remoteHost);
    QVERIFY(socket->bind().isOk());
    QSignalSpy refused(socket.get(), &DatagramSocket::portUnreachable);
    ArrivalLog log;
    log.attach(*socket, this);

    // Nobody listens on the partner's port yet.
    QVERIFY(!socket->lastPortUnreachable());
    const QDateTime sent = QDateTime::currentDateTime();
    QVERIFY(socket->sendData(u"誰もいない"_s).isOk());
    QTRY_COMPARE(refused.count(), 1);
    QCOMPARE(refused.at(0).at(0).value<QHostAddress>(), QHostAddress(remoteHost));
    QCOMPARE(refused.at(0).at(1).value<quint16>(), PartnerPort);
    // The connection check reads the last one afterwards, also once the socket is closed.
    const auto notice = socket->lastPortUnreachable();
    QVERIFY(notice);
    QCOMPARE(notice->address, QHostAddress(remoteHost));
    QCOMPARE(notice->port, PartnerPort);
    QVERIFY(notice->time >= sent.addSecs(-1) && notice->time <= QDateTime::currentDateTime());

    // A refusal still pending on the socket must not swallow the next send: no event loop runs
    // between the refused datagram and the one after the partner has started.
    QVERIFY(socket->sendData(u"もう一度"_s).isOk());
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(remoteHost), PartnerPort));
    QVERIFY(socket->sendData(u"届く"_s).isOk());
    QCOMPARE(nextDatagram(peer).data(), QByteArray("\x93\xcd\x82\xad"));

    // The socket stays unconnected: a third sender is still heard.
    QUdpSocket stranger;
    stranger.writeDatagram("third", QHostAddress(remoteHost), OwnPort);
    QTRY_COMPARE(log.bytes.size(), 1);
    QCOMPARE(log.bytes.constFirst(), QByteArray("third"));
    QTRY_COMPARE(refused.count(), 2); // the second datagram before the peer started

    socket->close();
    QCOMPARE(socket->lastPortUnreachable()->port, PartnerPort);
    QVERIFY(socket->bind().isOk());

    // A handler that destroys the socket on a refusal ends the wake-up without touching it.
    peer.close();
    bool destroyed = false;
    connect(socket.get(), &DatagramSocket::portUnreachable, this, [&] {
        socket.reset();
        destroyed = true;
    });
    QVERIFY(socket->sendData(u"x"_s).isOk());
    stranger.writeDatagram("pending behind the refusal", QHostAddress(remoteHost), OwnPort);
    QTRY_VERIFY(destroyed);
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], BindAsNobody) == 0)
        return bindAsUnprivilegedUser(argc, argv);
    QCoreApplication app(argc, argv);
    tst_DatagramSocket test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_datagramsocket.moc"
