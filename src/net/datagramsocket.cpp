#include "datagramsocket.h"

#include "common/cp932codec.h"
#include "common/visibletext.h"
#include "hostresolver.h"
#include "udpdescriptor.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

namespace net {

namespace {

// After this many datagrams, or this much time, in one go the event loop gets its turn, so a flood
// cannot freeze the window; the notifier fires again at once for the rest.
constexpr int MaxDatagramsPerWakeUp = 4096;
constexpr qint64 MaxMillisecondsPerWakeUp = 10;

/// Up to @p limit of the code points @p characters for a message. A lone surrogate is named as
/// U+XXXX: written as itself, it would make one character with a lone one next to it.
QString shortened(const QList<char32_t>& characters, qsizetype limit)
{
    QString text;
    bool afterCode = false;
    for (const char32_t c : characters.first(qMin(characters.size(), limit))) {
        const bool lone = QChar::isSurrogate(c);
        if (!text.isEmpty() && (lone || afterCode))
            text += u' ';
        text += lone ? common::codePointName(c) : QString::fromUcs4(&c, 1);
        afterCode = lone;
    }
    return characters.size() > limit ? text + u"…"_s : text;
}

} // namespace

class DatagramSocket::Private
{
public:
    explicit Private(DatagramSocket* owner, HostResolver* hostResolver)
        : q(owner)
        , resolver(hostResolver ? hostResolver : &HostResolver::shared())
    {}

    void onReadable();
    void releaseNotifier();
    /// Emits portUnreachable for waiting refusals. @return false when the handler destroyed or closed us.
    bool reportRefusals(const QPointer<DatagramSocket>& guard, quint64 generation);

    DatagramSocket* q;
    HostResolver* resolver;
    Protocol protocol = Udp;
    QString remoteHost;
    quint16 remotePort = 0;
    quint16 localPort = 0;

    detail::UdpDescriptor socket;
    std::unique_ptr<QSocketNotifier> notifier;
    detail::ReceiveBatch batch;

    // Bumped by every bind and close, so that a delivery loop notices that a handler did either.
    quint64 generation = 0;
    bool delivering = false;
    // The datagram of the dataArrival being emitted; its bytes live in batch.
    QByteArrayView current;
    int currentIndex = -1; ///< its slot in batch, for its source
    bool hasCurrent = false;
    std::optional<PortUnreachableNotice> lastRefusal;
};

void DatagramSocket::Private::releaseNotifier()
{
    if (!notifier)
        return;
    notifier->setEnabled(false);
    // A handler may close the socket from inside the notifier's own activation: delete it later then.
    if (delivering)
        notifier.release()->deleteLater();
    else
        notifier.reset();
}

bool DatagramSocket::Private::reportRefusals(const QPointer<DatagramSocket>& guard, quint64 startGeneration)
{
    // A local list: it allocates only when there is something to report.
    QList<detail::Refusal> refusals;
    socket.takeRefusals(refusals);
    for (const detail::Refusal& refusal : std::as_const(refusals)) {
        lastRefusal = PortUnreachableNotice{refusal.address, refusal.port, QDateTime::currentDateTime()};
        Q_EMIT q->portUnreachable(refusal.address, refusal.port);
        if (!guard || generation != startGeneration)
            return false;
    }
    return true;
}

void DatagramSocket::Private::onReadable()
{
    if (delivering) {
        // A dataArrival handler runs a nested event loop. Delivering from here would hand out the
        // next datagram before the current one is handled; the outer loop goes on when it returns.
        if (notifier)
            notifier->setEnabled(false);
        return;
    }
    delivering = true;
    if (notifier)
        notifier->setEnabled(false);
    const QPointer<DatagramSocket> guard(q);
    const quint64 startGeneration = generation;

    int delivered = 0;
    int failedReceives = 0;
    bool stopped = false;
    QElapsedTimer busy;
    busy.start();
    while (!stopped && delivered < MaxDatagramsPerWakeUp && !busy.hasExpired(MaxMillisecondsPerWakeUp)) {
        if (!reportRefusals(guard, startGeneration)) {
            if (!guard)
                return; // destroyed by a portUnreachable handler
            stopped = true;
            break;
        }
        const common::Result<int> received = batch.receive(socket.descriptor());
        if (!received.isOk()) {
            // An ICMP error that arrived meanwhile fails a receive once; its record is in the
            // error queue, which the next round reads. Anything else ends this wake-up.
            if (detail::isDeferredIcmpError(received.status().sysErrno()) && ++failedReceives < 64)
                continue;
            break;
        }
        const int count = received.value();
        for (int i = 0; i < count; ++i) {
            current = batch.datagram(i);
            currentIndex = i;
            hasCurrent = true;
            Q_EMIT q->dataArrival(current.size());
            if (!guard)
                return; // the handler destroyed the socket; nothing of ours may be touched
            if (generation != startGeneration) {
                stopped = true; // closed (or closed and bound again): the rest is not received
                break;
            }
        }
        delivered += count;
        if (count < detail::ReceiveBatch::Slots)
            break; // drained; the notifier fires again for whatever arrives next
    }
    hasCurrent = false;
    current = {};
    currentIndex = -1;
    delivering = false;
    if (notifier && socket.isOpen())
        notifier->setEnabled(true);
}

DatagramSocket::DatagramSocket(QObject* parent, HostResolver* resolver)
    : QObject(parent)
    , d(new Private(this, resolver))
{}

DatagramSocket::~DatagramSocket()
{
    close();
    delete d;
}

int DatagramSocket::state() const
{
    return d->socket.isOpen() ? Open : Closed;
}

DatagramSocket::Protocol DatagramSocket::protocol() const
{
    return d->protocol;
}

void DatagramSocket::setProtocol(Protocol protocol)
{
    d->protocol = protocol;
}

QString DatagramSocket::remoteHost() const
{
    return d->remoteHost;
}

void DatagramSocket::setRemoteHost(const QString& host)
{
    d->remoteHost = host;
}

quint16 DatagramSocket::remotePort() const
{
    return d->remotePort;
}

void DatagramSocket::setRemotePort(quint16 port)
{
    d->remotePort = port;
}

quint16 DatagramSocket::localPort() const
{
    return d->localPort;
}

void DatagramSocket::setLocalPort(quint16 port)
{
    d->localPort = port;
}

common::Status DatagramSocket::bind()
{
    using common::Status;
    if (d->socket.isOpen())
        return Status::failure(Status::Code::WrongState);
    if (d->protocol != Udp)
        return Status::failure(Status::Code::Unsupported);
    if (Status opened = d->socket.open(d->localPort); !opened.isOk())
        return opened;

    ++d->generation;
    d->localPort = d->socket.port();
    d->notifier = std::make_unique<QSocketNotifier>(d->socket.descriptor(), QSocketNotifier::Read);
    connect(d->notifier.get(), &QSocketNotifier::activated, this, [this] { d->onReadable(); });
    return {};
}

void DatagramSocket::close()
{
    if (!d->socket.isOpen())
        return;
    ++d->generation;
    // The notifier must let go of the descriptor before it is closed.
    d->releaseNotifier();
    d->socket.close();
}

common::Status DatagramSocket::sendData(const QString& text)
{
    using common::Status;
    if (!d->socket.isOpen())
        return Status::failure(Status::Code::WrongState);
    const common::cp932::EncodeResult encoded = common::cp932::encode(text);
    if (!encoded.ok)
        return Status::failure(Status::Code::Unencodable, shortened(encoded.unrepresentable, 20));
    if (encoded.bytes.size() > MaxDatagramBytes)
        return Status::failure(Status::Code::TooLarge, QString::number(encoded.bytes.size()));
    if (d->remotePort == 0)
        return Status::fromSocketErrno(EDESTADDRREQ);

    const Resolution resolution = d->resolver->resolve(d->remoteHost);
    if (resolution.addresses.isEmpty())
        return Status::failure(Status::Code::NotFound, resolution.error);

    // One datagram to the first address that this computer can send to (IPv4 first).
    Status sent = Status::fromSocketErrno(EAFNOSUPPORT);
    for (const QHostAddress& address : resolution.addresses) {
        sent = d->socket.sendTo(address, d->remotePort, encoded.bytes);
        if (sent.isOk())
            return sent;
        const int error = sent.sysErrno();
        const bool tryNext = error == EAFNOSUPPORT || error == ENETUNREACH || error == EHOSTUNREACH ||
                             error == EADDRNOTAVAIL || error == EINVAL;
        if (!tryNext)
            break;
    }
    return sent;
}

QString DatagramSocket::getData() const
{
    return d->hasCurrent ? common::cp932::decode(d->current) : QString();
}

QHostAddress DatagramSocket::sourceAddress() const
{
    return d->hasCurrent ? d->batch.source(d->currentIndex).address : QHostAddress();
}

quint16 DatagramSocket::sourcePort() const
{
    return d->hasCurrent ? d->batch.source(d->currentIndex).port : 0;
}

std::optional<PortUnreachableNotice> DatagramSocket::lastPortUnreachable() const
{
    return d->lastRefusal;
}

QString DatagramSocket::localHostName()
{
    // Each message's log line names this computer, and a burst brings many thousands a second:
    // asking the system every time would cost more than the rest of an arrival. The name is
    // read again once a second, so a renamed computer still shows up at once.
    thread_local QString name;
    thread_local QDeadlineTimer refresh(0); // expired: the first call reads the name
    if (refresh.hasExpired()) {
        name = QHostInfo::localHostName();
        refresh.setRemainingTime(1000);
    }
    return name;
}

} // namespace net
