#include "avahibrowsesession.h"

#include "avahidbus.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

namespace net {

namespace {

// More early signals than this are not held back; a real daemon sends a handful.
constexpr qsizetype MaxEarlySignals = 4096;
// Avahi gives up resolving a service after about 5 s and then answers with a TimeoutError.
constexpr int ResolveTimeoutMs = 10'000;
constexpr int CreateTimeoutMs = 5'000;

/// The service key carried by an ItemNew or ItemRemove signal, checked argument by argument.
std::optional<ServiceKey> keyFromItemSignal(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (args.size() < 5 || args.at(0).typeId() != QMetaType::Int || args.at(1).typeId() != QMetaType::Int ||
        args.at(2).typeId() != QMetaType::QString || args.at(3).typeId() != QMetaType::QString ||
        args.at(4).typeId() != QMetaType::QString)
        return std::nullopt;
    return ServiceKey{args.at(0).toInt(), args.at(1).toInt(), args.at(2).toString(), args.at(3).toString(),
                      args.at(4).toString()};
}

/// What an error reply of the daemon tells the user.
ComputerBrowserModel::Problem problemOf(const QDBusMessage& reply)
{
    switch (avahi::errorKind(reply)) {
    case avahi::ErrorKind::TimedOut:
        return ComputerBrowserModel::Problem::DaemonTimedOut;
    case avahi::ErrorKind::DaemonGone:
        return ComputerBrowserModel::Problem::NoDaemon;
    case avahi::ErrorKind::Other:
        break;
    }
    return ComputerBrowserModel::Problem::DaemonFailed;
}

} // namespace

QStringList AvahiBrowseSession::defaultServiceTypes()
{
    return {avahi::messengerServiceType(), QStringLiteral("_workstation._tcp"), QStringLiteral("_smb._tcp"),
            QStringLiteral("_device-info._tcp"), QStringLiteral("_ssh._tcp")};
}

AvahiBrowseSession::AvahiBrowseSession(ComputerBrowserModel& model, const QDBusConnection& bus,
                                       const QStringList& serviceTypes, QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_bus(bus)
    , m_types(serviceTypes)
{
    if (!m_bus.isConnected())
        return;
    auto* watcher = new QDBusServiceWatcher(avahi::service(), m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString& oldOwner, const QString& newOwner) {
                daemonOwnerChanged(oldOwner, newOwner);
            });
    // Subscribed for every object path before any browser exists (see the class comment).
    m_subscribed = true;
    for (const char* member : {"ItemNew", "ItemRemove", "Failure", "AllForNow"}) {
        m_subscribed &= m_bus.connect(avahi::service(), QString(), avahi::serviceBrowserInterface(),
                                      QString::fromLatin1(member), this, SLOT(onBrowserSignal(QDBusMessage)));
    }
}

AvahiBrowseSession::~AvahiBrowseSession()
{
    freeBrowsers();
}

void AvahiBrowseSession::start()
{
    ++m_generation;
    freeBrowsers();
    m_early.clear();
    m_pendingCreates = 0;
    m_failedCreates = 0;
    m_lastProblem = {};

    switch (avahi::availability(m_bus)) {
    case avahi::Availability::Available:
        break;
    case avahi::Availability::NoBus:
        m_model.setUnavailable(ComputerBrowserModel::Problem::NoSystemBus);
        return;
    case avahi::Availability::BusNotAnswering:
        m_model.setUnavailable(ComputerBrowserModel::Problem::BusNotAnswering);
        return;
    case avahi::Availability::NoDaemon:
        m_model.setUnavailable(ComputerBrowserModel::Problem::NoDaemon);
        return;
    }
    if (!m_subscribed) {
        m_model.setUnavailable(ComputerBrowserModel::Problem::NoSignals);
        return;
    }
    m_model.beginSearch();
    for (const QString& type : std::as_const(m_types))
        createBrowser(type, !m_legacyApi);
}

void AvahiBrowseSession::createBrowser(const QString& type, bool prepare)
{
    QDBusMessage call =
        avahi::serverCall(prepare ? QStringLiteral("ServiceBrowserPrepare") : QStringLiteral("ServiceBrowserNew"),
                          prepare ? avahi::server2Interface() : avahi::serverInterface());
    call << avahi::IfUnspec << avahi::ProtoUnspec << type << QString() << 0u;
    ++m_pendingCreates;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CreateTimeoutMs), this);
    const quint64 generation = m_generation;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, type, prepare, generation] {
        watcher->deleteLater();
        if (generation != m_generation)
            return;
        --m_pendingCreates;
        const QDBusMessage reply = watcher->reply();
        const QList<QVariant> args = reply.arguments();
        if (reply.type() == QDBusMessage::ReplyMessage && !args.isEmpty() &&
            args.constFirst().canConvert<QDBusObjectPath>()) {
            browserCreated(type, args.constFirst().value<QDBusObjectPath>().path(), prepare);
        } else {
            createFailed(type, reply, prepare);
        }
    });
}

void AvahiBrowseSession::browserCreated(const QString& type, const QString& path, bool prepared)
{
    m_browsers.insert(path, Browser{type});
    if (prepared) {
        // A prepared browser sends nothing until it is started.
        const QDBusMessage call = QDBusMessage::createMethodCall(
            avahi::service(), path, avahi::serviceBrowserInterface(), QStringLiteral("Start"));
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CreateTimeoutMs), this);
        const quint64 generation = m_generation;
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, path, generation] {
            watcher->deleteLater();
            const auto browser = m_browsers.find(path);
            if (generation != m_generation || !watcher->isError() || browser == m_browsers.end())
                return;
            browser->done = true;
            browser->failed = true;
            m_lastProblem = problemOf(watcher->reply());
            finishIfDone();
        });
    }
    // Hand over what this browser sent before its path was known, in the order it came.
    const QList<QDBusMessage> mine = avahi::takeSignalsOf(m_early, path);
    if (m_pendingCreates == 0)
        m_early.clear(); // nothing else can claim them
    for (const QDBusMessage& message : mine)
        handle(path, message);
}

void AvahiBrowseSession::createFailed(const QString& type, const QDBusMessage& reply, bool prepared)
{
    // Daemons older than 0.8 have no Server2; they start a browser on creation instead.
    if (prepared && (reply.errorName() == QLatin1StringView("org.freedesktop.DBus.Error.UnknownMethod") ||
                     reply.errorName() == QLatin1StringView("org.freedesktop.DBus.Error.UnknownInterface"))) {
        createBrowser(type, false);
        return;
    }
    ++m_failedCreates;
    m_lastProblem = problemOf(reply);
    if (m_pendingCreates == 0)
        m_early.clear();
    finishIfDone();
}

void AvahiBrowseSession::onBrowserSignal(const QDBusMessage& message)
{
    const QString path = message.path();
    if (m_browsers.contains(path)) {
        handle(path, message);
    } else if (m_pendingCreates > 0 && m_early.size() < MaxEarlySignals) {
        m_early.append(message);
    }
}

void AvahiBrowseSession::handle(const QString& path, const QDBusMessage& message)
{
    const auto browser = m_browsers.find(path);
    if (browser == m_browsers.end())
        return;
    const QString member = message.member();
    if (member == QLatin1StringView("ItemNew")) {
        if (const auto key = keyFromItemSignal(message)) {
            m_model.serviceFound(*key);
            resolve(*key);
        }
    } else if (member == QLatin1StringView("ItemRemove")) {
        if (const auto key = keyFromItemSignal(message))
            m_model.serviceRemoved(*key);
    } else if (member == QLatin1StringView("AllForNow")) {
        browser->done = true;
        finishIfDone();
    } else if (member == QLatin1StringView("Failure")) {
        browser->done = true;
        browser->failed = true;
        m_lastProblem = ComputerBrowserModel::Problem::DaemonFailed;
        finishIfDone();
    }
}

void AvahiBrowseSession::resolve(const ServiceKey& key)
{
    QDBusMessage call = avahi::serverCall(QStringLiteral("ResolveService"));
    call << key.interfaceIndex << key.protocol << key.name << key.type << key.domain << avahi::ProtoUnspec << 0u;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, ResolveTimeoutMs), this);
    const quint64 generation = m_generation;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, key, generation] {
        watcher->deleteLater();
        if (generation != m_generation)
            return;
        const QDBusMessage reply = watcher->reply();
        const QList<QVariant> args = reply.arguments();
        // interface, protocol, name, type, domain, host, aprotocol, address, port, txt, flags
        if (reply.type() == QDBusMessage::ReplyMessage && args.size() >= 6 &&
            args.at(5).typeId() == QMetaType::QString) {
            m_model.serviceResolved(key, args.at(5).toString());
        } else {
            m_model.serviceUnresolved(key);
        }
    });
}

void AvahiBrowseSession::finishIfDone()
{
    if (m_pendingCreates > 0)
        return;
    int failed = m_failedCreates;
    for (const Browser& browser : std::as_const(m_browsers)) {
        if (!browser.done)
            return;
        failed += browser.failed ? 1 : 0;
    }
    // Only a search in which nothing could be browsed counts as failed.
    if (failed > 0 && failed == m_browsers.size() + m_failedCreates)
        m_model.setFailed(m_lastProblem);
    else
        m_model.searchFinished();
}

void AvahiBrowseSession::freeBrowsers()
{
    for (auto it = m_browsers.cbegin(); it != m_browsers.cend(); ++it) {
        m_bus.send(QDBusMessage::createMethodCall(avahi::service(), it.key(), avahi::serviceBrowserInterface(),
                                                  QStringLiteral("Free")));
    }
    m_browsers.clear();
}

void AvahiBrowseSession::daemonOwnerChanged(const QString& oldOwner, const QString& newOwner)
{
    if (!oldOwner.isEmpty()) {
        // The daemon's objects went with it: nothing to free.
        ++m_generation;
        m_browsers.clear();
        m_early.clear();
        m_pendingCreates = 0;
        m_model.setUnavailable(ComputerBrowserModel::Problem::DaemonStopped);
    }
    if (!newOwner.isEmpty())
        start();
}

} // namespace net
