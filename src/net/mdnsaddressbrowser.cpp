#include "mdnsaddressbrowser.h"

#include "net/avahidbus.h"
#include "net/mdnsresolver.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QTimer>
#include <QtEndian>

#include <optional>

namespace net {

namespace {

constexpr quint16 ClassIn = 1;
constexpr quint16 TypeA = 1;
constexpr quint16 TypeAaaa = 28;
// A real daemon sends a handful of early signals; a computer publishes a few addresses.
constexpr qsizetype MaxEarlySignals = 1024;
constexpr qsizetype MaxAddresses = 64;

/// The address an ItemNew or ItemRemove signal carries, checked argument by argument.
std::optional<QHostAddress> addressFromItemSignal(const QDBusMessage& message)
{
    // interface, protocol, name, class, type, rdata, flags
    const QList<QVariant> args = message.arguments();
    if (args.size() < 6 || args.at(3).typeId() != QMetaType::UShort || args.at(4).typeId() != QMetaType::UShort ||
        args.at(5).typeId() != QMetaType::QByteArray || args.at(3).toUInt() != ClassIn)
        return std::nullopt;
    const QByteArray data = args.at(5).toByteArray();
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    if (args.at(4).toUInt() == TypeA && data.size() == 4)
        return QHostAddress(qFromBigEndian<quint32>(bytes));
    if (args.at(4).toUInt() == TypeAaaa && data.size() == 16)
        return QHostAddress(bytes);
    return std::nullopt;
}

} // namespace

MdnsAddressBrowser::MdnsAddressBrowser(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{}

bool MdnsAddressBrowser::subscribe()
{
    // Subscribed for every object path before the first browser exists (see the class comment), at
    // the first lookup: a program that never connects asks nothing of the bus.
    if (m_subscription == Subscription::None && m_bus.isConnected()) {
        bool subscribed = true;
        for (const char* member : {"ItemNew", "ItemRemove", "Failure", "AllForNow"}) {
            subscribed &= m_bus.connect(avahi::service(), QString(), avahi::recordBrowserInterface(),
                                        QString::fromLatin1(member), this, SLOT(onRecordSignal(QDBusMessage)));
        }
        m_subscription = subscribed ? Subscription::Done : Subscription::Failed;
    }
    return m_subscription == Subscription::Done;
}

MdnsAddressBrowser::~MdnsAddressBrowser()
{
    for (auto it = m_browsers.cbegin(); it != m_browsers.cend(); ++it)
        free(it.key());
}

void MdnsAddressBrowser::lookUp(const QString& name, QObject* context, Callback callback)
{
    Q_ASSERT(context && callback);
    const QString fqdn = MdnsResolver::localName(name);
    if (fqdn.isEmpty() || !subscribe()) {
        QMetaObject::invokeMethod(
            context, [callback = std::move(callback)] { callback({}); }, Qt::QueuedConnection);
        return;
    }
    const quint64 id = ++m_lastId;
    Lookup& lookup = m_lookups[id];
    lookup.context = context;
    lookup.callback = std::move(callback);
    QTimer::singleShot(Budget, this, [this, id] { finish(id); });
    createBrowser(id, fqdn, TypeA);
    createBrowser(id, fqdn, TypeAaaa);
}

void MdnsAddressBrowser::createBrowser(quint64 id, const QString& fqdn, quint16 type)
{
    QDBusMessage call = avahi::serverCall(QStringLiteral("RecordBrowserNew"));
    // Class and type are 16-bit on the bus; a plain QVariant would carry them as 32-bit integers.
    call << avahi::IfUnspec << avahi::ProtoUnspec << fqdn << QVariant::fromValue(ClassIn) << QVariant::fromValue(type)
         << 0u;
    // A daemon that is not running is not started for this.
    call.setAutoStartService(false);
    ++m_pendingCreates;
    ++m_lookups[id].unfinished;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, int(Budget.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, id] {
        watcher->deleteLater();
        --m_pendingCreates;
        browserCreated(id, watcher->reply());
        if (m_pendingCreates == 0)
            m_early.clear(); // nothing else can claim them
    });
}

void MdnsAddressBrowser::browserCreated(quint64 id, const QDBusMessage& reply)
{
    const QList<QVariant> args = reply.arguments();
    QString path;
    if (reply.type() == QDBusMessage::ReplyMessage && !args.isEmpty() &&
        args.constFirst().canConvert<QDBusObjectPath>())
        path = args.constFirst().value<QDBusObjectPath>().path();
    const auto lookup = m_lookups.find(id);
    if (lookup == m_lookups.end()) {
        if (!path.isEmpty())
            free(path); // the lookup ended before its browser came
        return;
    }
    if (path.isEmpty()) {
        --lookup->unfinished; // no daemon, or it refused: nothing to wait for
        if (lookup->unfinished == 0)
            finish(id);
        return;
    }
    m_browsers.insert(path, Browser{id});
    for (const QDBusMessage& message : avahi::takeSignalsOf(m_early, path))
        handle(path, message);
}

void MdnsAddressBrowser::onRecordSignal(const QDBusMessage& message)
{
    const QString path = message.path();
    if (m_browsers.contains(path))
        handle(path, message);
    else if (m_pendingCreates > 0 && m_early.size() < MaxEarlySignals)
        m_early.append(message);
}

void MdnsAddressBrowser::handle(const QString& path, const QDBusMessage& message)
{
    const auto browser = m_browsers.constFind(path);
    if (browser == m_browsers.cend())
        return;
    const auto lookup = m_lookups.find(browser->lookup);
    if (lookup == m_lookups.end())
        return;
    const QString member = message.member();
    if (member == QLatin1StringView("ItemNew")) {
        const std::optional<QHostAddress> address = addressFromItemSignal(message);
        if (address && !lookup->addresses.contains(*address) && lookup->addresses.size() < MaxAddresses)
            lookup->addresses.append(*address);
    } else if (member == QLatin1StringView("ItemRemove")) {
        if (const std::optional<QHostAddress> address = addressFromItemSignal(message))
            lookup->addresses.removeAll(*address);
    } else if (member == QLatin1StringView("AllForNow") || member == QLatin1StringView("Failure")) {
        browserFinished(path);
    }
}

void MdnsAddressBrowser::browserFinished(const QString& path)
{
    Browser& browser = m_browsers[path];
    if (browser.finished)
        return;
    browser.finished = true;
    const auto lookup = m_lookups.find(browser.lookup);
    if (lookup != m_lookups.end() && --lookup->unfinished == 0)
        finish(browser.lookup);
}

void MdnsAddressBrowser::finish(quint64 id)
{
    const auto found = m_lookups.find(id);
    if (found == m_lookups.end())
        return; // answered already
    const Lookup lookup = std::move(*found);
    m_lookups.erase(found);
    for (auto it = m_browsers.begin(); it != m_browsers.end();) {
        if (it->lookup == id) {
            free(it.key());
            it = m_browsers.erase(it);
        } else {
            ++it;
        }
    }
    if (lookup.context)
        lookup.callback(lookup.addresses);
}

void MdnsAddressBrowser::free(const QString& path)
{
    m_bus.send(QDBusMessage::createMethodCall(avahi::service(), path, avahi::recordBrowserInterface(),
                                              QStringLiteral("Free")));
}

} // namespace net
