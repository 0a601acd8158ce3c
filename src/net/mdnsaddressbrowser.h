#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>

namespace net {

/**
 * Every address a computer publishes for its ".local" name by multicast DNS. A lookup of the name
 * answers with one address, but a computer with a wired and a wireless interface publishes both and
 * may send from either. This asks the Avahi daemon for all of them: a record browser for the name's
 * A records and one for its AAAA records, until both have said that nothing more is to come for now,
 * or the time is up.
 *
 * Everything runs on the caller's thread through its event loop; nothing blocks. Avahi before 0.8
 * starts a browser as soon as it is created, so its first signals may come before the reply that
 * names it: signals of browsers not known yet are held until the pending creations have answered.
 */
class MdnsAddressBrowser final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MdnsAddressBrowser)

public:
    using Callback = std::function<void(const QList<QHostAddress>& addresses)>;
    /// The longest a lookup waits: within the time the partner's first datagrams are held for a lookup.
    static constexpr std::chrono::milliseconds Budget{1500};

    /// @p bus is the bus the Avahi daemon is on.
    explicit MdnsAddressBrowser(const QDBusConnection& bus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    ~MdnsAddressBrowser() override;

    /**
     * Collects the addresses @p name publishes ("pcb" and "pcb.local" both ask for pcb.local; a name
     * in another domain or an address publishes none). @p callback gets them, possibly none, once,
     * never before this returns, and not at all when @p context is destroyed first.
     */
    void lookUp(const QString& name, QObject* context, Callback callback);

private Q_SLOTS:
    // QtDBus delivers bus signals only to slots named by their signature.
    void onRecordSignal(const QDBusMessage& message);

private:
    struct Lookup
    {
        QPointer<QObject> context;
        Callback callback;
        QList<QHostAddress> addresses;
        int unfinished = 0; ///< browsers still browsing, and creations not answered yet
    };
    struct Browser
    {
        quint64 lookup = 0;
        bool finished = false;
    };

    bool subscribe();
    void createBrowser(quint64 id, const QString& fqdn, quint16 type);
    void browserCreated(quint64 id, const QDBusMessage& reply);
    void handle(const QString& path, const QDBusMessage& message);
    void browserFinished(const QString& path);
    void finish(quint64 id);
    void free(const QString& path);

    enum class Subscription { None, Done, Failed };

    QDBusConnection m_bus;
    Subscription m_subscription = Subscription::None;
    quint64 m_lastId = 0;
    QHash<quint64, Lookup> m_lookups;
    QHash<QString, Browser> m_browsers; ///< by object path
    QList<QDBusMessage> m_early;        ///< signals that came before their browser's path was known
    int m_pendingCreates = 0;
};

} // namespace net
