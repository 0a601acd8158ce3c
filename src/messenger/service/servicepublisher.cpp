#include "servicepublisher.h"

#include "net/avahidbus.h"

#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QHostInfo>
#include <QLoggingCategory>

namespace messenger::service {

namespace avahi = net::avahi;

namespace {

Q_LOGGING_CATEGORY(lcPublisher, "tavik.messenger.publisher")

// Each rename is answered by the network within seconds; this many in a row means something is
// wrong, and the publisher stops trying instead of renaming forever.
constexpr int MaxRenames = 32;
constexpr int CallTimeoutMs = 5'000;

} // namespace

ServicePublisher::ServicePublisher(quint16 port, const QString& name, const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_port(port)
    , m_hostName(name.isEmpty() ? QHostInfo::localHostName() : name)
    , m_name(m_hostName)
    , m_bus(bus)
{
    // The TXT record is an array of byte arrays ("aay"), a type QtDBus marshals only once registered.
    qDBusRegisterMetaType<QList<QByteArray>>();
    if (!m_bus.isConnected())
        return;
    auto* watcher = new QDBusServiceWatcher(avahi::service(), m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                daemonOwnerChanged(oldOwner, newOwner);
            });
    m_bus.connect(avahi::service(), avahi::serverPath(), avahi::serverInterface(), QStringLiteral("StateChanged"), this,
                  SLOT(onServerStateChanged(QDBusMessage)));
}

ServicePublisher::~ServicePublisher()
{
    // Freeing the group withdraws the service at once, instead of when the daemon notices that
    // this client has gone.
    if (!m_groupPath.isEmpty()) {
        m_bus.send(QDBusMessage::createMethodCall(avahi::service(), m_groupPath, avahi::entryGroupInterface(),
                                                  QStringLiteral("Free")));
    }
}

void ServicePublisher::start()
{
    if (m_started)
        return;
    m_started = true;
    publish();
}

void ServicePublisher::publish()
{
    const QString unavailable = avahi::unavailableReason(m_bus);
    if (!unavailable.isEmpty()) {
        qCInfo(lcPublisher, "not announced on the network: %s", qUtf8Printable(unavailable));
        setState(State::NoDaemon);
        return;
    }
    setState(State::Registering);
    // Services are added once the daemon's own host name is established, as Avahi asks of its clients.
    callAvahi(avahi::serverCall(QStringLiteral("GetState")), Step::Query, [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            fail(avahi::describeError(reply));
            return;
        }
        if (reply.arguments().constFirst().toInt() == avahi::ServerRunning)
            createGroup();
        // Otherwise Server.StateChanged reports when the daemon is running.
    });
}

void ServicePublisher::createGroup()
{
    if (!m_groupPath.isEmpty()) {
        addService();
        return;
    }
    if (m_groupBusy)
        return;
    callAvahi(avahi::serverCall(QStringLiteral("EntryGroupNew")), Step::Group, [this](const QDBusMessage& reply) {
        const QList<QVariant> args = reply.arguments();
        if (reply.type() != QDBusMessage::ReplyMessage || args.isEmpty() ||
            !args.constFirst().canConvert<QDBusObjectPath>()) {
            fail(avahi::describeError(reply));
            return;
        }
        m_groupPath = args.constFirst().value<QDBusObjectPath>().path();
        // A new group stays uncommitted until Commit, so subscribing now misses nothing.
        m_bus.connect(avahi::service(), m_groupPath, avahi::entryGroupInterface(), QStringLiteral("StateChanged"), this,
                      SLOT(onGroupStateChanged(QDBusMessage)));
        addService();
    });
}

void ServicePublisher::addService()
{
    if (m_groupBusy)
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(avahi::service(), m_groupPath, avahi::entryGroupInterface(),
                                                       QStringLiteral("AddService"));
    // interface, protocol, flags, name, type, domain, host (empty: the daemon's own), port, txt
    call << avahi::IfUnspec << avahi::ProtoUnspec << 0u << m_name << avahi::messengerServiceType() << QString()
         << QString() << QVariant::fromValue(m_port) << QVariant::fromValue(QList<QByteArray>());
    callAvahi(call, Step::Group, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage) {
            commit();
        } else if (reply.errorName() == QLatin1StringView("org.freedesktop.Avahi.CollisionError")) {
            // Another service of this computer already has the name.
            takeAlternativeName();
        } else {
            fail(avahi::describeError(reply));
        }
    });
}

void ServicePublisher::commit()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(avahi::service(), m_groupPath,
                                                             avahi::entryGroupInterface(), QStringLiteral("Commit"));
    callAvahi(call, Step::Group, [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage)
            fail(avahi::describeError(reply));
        else
            m_committed = true;
        // Success is reported by the group's StateChanged signal.
    });
}

void ServicePublisher::takeAlternativeName()
{
    if (++m_renames > MaxRenames) {
        fail(QStringLiteral("名前の衝突が続きます"));
        return;
    }
    QDBusMessage call = avahi::serverCall(QStringLiteral("GetAlternativeServiceName"));
    call << m_name;
    callAvahi(call, Step::Group, [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            fail(avahi::describeError(reply));
            return;
        }
        m_name = reply.arguments().constFirst().toString();
        qCInfo(lcPublisher, "name taken on the network; announcing as \"%s\"", qUtf8Printable(m_name));
        resetGroup();
        addService();
    });
}

void ServicePublisher::callAvahi(const QDBusMessage& call, Step step, std::function<void(const QDBusMessage&)> onReply)
{
    if (step == Step::Group)
        m_groupBusy = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    const quint64 generation = m_generation;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, generation, step, onReply = std::move(onReply)] {
                watcher->deleteLater();
                // A reply to a call made before the daemon went away or came back belongs to nothing now.
                if (generation != m_generation)
                    return;
                if (step == Step::Group)
                    m_groupBusy = false;
                onReply(watcher->reply());
            });
}

void ServicePublisher::resetGroup()
{
    if (m_groupPath.isEmpty())
        return;
    // Calls on one connection are handled in order, so a following AddService sees the empty group.
    m_committed = false;
    m_bus.send(QDBusMessage::createMethodCall(avahi::service(), m_groupPath, avahi::entryGroupInterface(),
                                              QStringLiteral("Reset")));
}

void ServicePublisher::onGroupStateChanged(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (message.path() != m_groupPath || args.isEmpty())
        return;
    switch (args.constFirst().toInt()) {
    case avahi::GroupEstablished:
        m_renames = 0;
        qCInfo(lcPublisher, "announced as \"%s\" on port %u", qUtf8Printable(m_name), unsigned{m_port});
        setState(State::Established);
        break;
    case avahi::GroupCollision:
        setState(State::Registering);
        takeAlternativeName();
        break;
    case avahi::GroupFailure:
        fail(args.size() > 1 ? args.at(1).toString() : QString());
        break;
    default:
        break;
    }
}

void ServicePublisher::onServerStateChanged(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (!m_started || args.isEmpty() || m_state == State::NoDaemon)
        return;
    switch (args.constFirst().toInt()) {
    case avahi::ServerRunning:
        if (!m_committed && !m_groupBusy)
            createGroup();
        break;
    case avahi::ServerRegistering:
    case avahi::ServerCollision:
        // The daemon's host name is changing; the service is added again once it is running.
        if (m_state == State::Established || !m_groupBusy) {
            resetGroup();
            setState(State::Registering);
        }
        break;
    default:
        break;
    }
}

void ServicePublisher::forgetGroup()
{
    if (!m_groupPath.isEmpty()) {
        m_bus.disconnect(avahi::service(), m_groupPath, avahi::entryGroupInterface(), QStringLiteral("StateChanged"),
                         this, SLOT(onGroupStateChanged(QDBusMessage)));
    }
    m_groupPath.clear();
    m_groupBusy = false;
    m_committed = false;
}

void ServicePublisher::fail(const QString& why)
{
    qCWarning(lcPublisher, "the service cannot be announced: %s", qUtf8Printable(why));
    setState(State::Failed);
}

void ServicePublisher::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

void ServicePublisher::daemonOwnerChanged(const QString& oldOwner, const QString& newOwner)
{
    if (!m_started)
        return;
    if (!oldOwner.isEmpty()) {
        // The group went with the daemon.
        ++m_generation;
        forgetGroup();
        m_name = m_hostName;
        m_renames = 0;
        setState(State::NoDaemon);
    }
    if (!newOwner.isEmpty())
        publish();
}

} // namespace messenger::service
