#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <functional>

namespace messenger::service {

/**
 * Announces the notification service on the local network by DNS-SD, so that the partner's
 * computer browser finds this computer: a _tavik-msg._tcp service on the service's port, named
 * after the computer's host name, registered in an entry group of the Avahi daemon (D-Bus API on
 * the system bus).
 *
 * When another computer already uses the name, Avahi's alternative name ("name #2") is taken.
 * The publisher follows the daemon on the bus: when the daemon stops the service keeps running
 * unannounced, and it is announced again as soon as the daemon is back. Without a daemon at all
 * nothing is announced and nothing fails.
 */
class ServicePublisher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServicePublisher)

public:
    enum class State {
        Stopped,     ///< start() was not called yet
        NoDaemon,    ///< no Avahi daemon on the bus; waiting for one
        Registering, ///< the daemon is probing the name on the network
        Established, ///< the service is announced under publishedName()
        Failed,      ///< the daemon refused the service; retried when the daemon restarts
    };
    Q_ENUM(State)

    /**
     * @p port is the port the service listens on; @p name the service name, the computer's host
     * name when empty; @p bus the bus the Avahi daemon is on.
     */
    explicit ServicePublisher(quint16 port, const QString& name = {},
                              const QDBusConnection& bus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    /// Withdraws the announcement.
    ~ServicePublisher() override;

    /// Announces the service, now if the daemon is there, otherwise once it appears.
    void start();

    State state() const { return m_state; }
    /// The name the service is announced under (the alternative name after a collision).
    QString publishedName() const { return m_name; }

Q_SIGNALS:
    void stateChanged(messenger::service::ServicePublisher::State state);

private Q_SLOTS:
    // QtDBus delivers bus signals only to slots named by their signature.
    void onGroupStateChanged(const QDBusMessage& message);
    void onServerStateChanged(const QDBusMessage& message);

private:
    void publish();
    void createGroup();
    void addService();
    void commit();
    void takeAlternativeName();
    /// A call that works on the entry group marks it busy until its reply.
    enum class Step { Query, Group };
    /// Calls Avahi; @p onReply runs with the reply unless the daemon went away or came back meanwhile.
    void callAvahi(const QDBusMessage& call, Step step, std::function<void(const QDBusMessage&)> onReply);
    void resetGroup();
    void forgetGroup();
    void fail(const QString& why);
    void setState(State state);
    void daemonOwnerChanged(const QString& oldOwner, const QString& newOwner);

    quint16 m_port;
    QString m_hostName;
    QString m_name;
    QDBusConnection m_bus;
    QString m_groupPath;
    State m_state = State::Stopped;
    bool m_started = false;
    bool m_groupBusy = false; ///< a service is being added or committed
    bool m_committed = false; ///< the group holds the service and was committed
    int m_renames = 0;
    quint64 m_generation = 0; ///< replies meant for a daemon that has gone are dropped
};

} // namespace messenger::service
