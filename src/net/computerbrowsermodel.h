#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QString>

namespace net {

/// One DNS-SD service instance as the Avahi daemon reports it: where it was seen and its name.
struct ServiceKey
{
    int interfaceIndex = -1;
    int protocol = -1;
    QString name;
    QString type;
    QString domain;

    friend bool operator==(const ServiceKey&, const ServiceKey&) = default;
};
size_t qHash(const ServiceKey& key, size_t seed = 0) noexcept;

/**
 * The computer name for a resolved host name: "pcb.local" gives "pcb". Cut at the first NUL;
 * leading backslashes, a trailing dot and the ".local" domain are removed. A name in another
 * domain keeps it, so that it still resolves.
 */
QString computerNameFromHost(const QString& hostName);

/**
 * The computer name guessed from a service name, used when the service cannot be resolved to its
 * host: the name as it is, except that the " [00:11:22:33:44:55]" hardware address that
 * _workstation._tcp services append is removed.
 */
QString computerNameFromService(const QString& serviceName, const QString& type);

/**
 * The computers found on the network, one row per computer name, fed by browsing events.
 * A service becomes visible once it is resolved to its host (or has failed to resolve); several
 * services of one computer make one row, which is marked when one of them is the notification
 * service. Names are compared without regard to case, as DNS does.
 */
class ComputerBrowserModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ComputerBrowserModel)

public:
    enum Column { NameColumn, MessengerColumn, ColumnCount };
    enum class Status { Idle, Searching, Finished, Unavailable, Failed };
    /// Why the computers cannot be listed; the dialog's status line names the cause and what to do.
    enum class Problem {
        NoSystemBus,     ///< the system's D-Bus cannot be reached
        BusNotAnswering, ///< the system's D-Bus does not answer
        NoDaemon,        ///< the Avahi daemon is not running
        DaemonStopped,   ///< the Avahi daemon stopped while the dialog was open
        NoSignals,       ///< the bus refused to deliver the daemon's browsing signals
        DaemonTimedOut,  ///< the daemon did not answer in time
        DaemonFailed,    ///< the daemon answered with an error
    };

    explicit ComputerBrowserModel(QObject* parent = nullptr);
    ~ComputerBrowserModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// A new search starts: every row goes, the status becomes Searching.
    void beginSearch();
    /// A service was announced; it is shown once it is resolved or has failed to resolve.
    void serviceFound(const ServiceKey& key);
    /// The service runs on @p hostName; its row is the computer named by that host.
    void serviceResolved(const ServiceKey& key, const QString& hostName);
    /// The service could not be resolved; its row is named after the service.
    void serviceUnresolved(const ServiceKey& key);
    /// The service went away; a computer with no service left loses its row.
    void serviceRemoved(const ServiceKey& key);
    /// Every browser has reported what it knows for now.
    void searchFinished();
    /// Browsing is impossible (no system bus, no daemon, the daemon stopped); the rows go.
    void setUnavailable(Problem problem);
    /// Browsing failed for a reason other than a missing daemon; the rows found so far stay.
    void setFailed(Problem problem);

    Status status() const { return m_status; }
    /// Why the computers cannot be listed, while the status is Unavailable or Failed.
    Problem problem() const { return m_problem; }

    /// The computer name of @p row, or an empty text for a row that does not exist.
    QString computerName(int row) const;
    /// Whether the computer of @p row runs the notification service.
    bool hasMessenger(int row) const;
    /// The row of the computer named @p name, or -1.
    int rowOf(const QString& name) const;

Q_SIGNALS:
    void statusChanged();

private:
    struct Service
    {
        QString computer; ///< empty while the service waits for its resolution
    };
    struct Computer
    {
        QString name;
        int services = 0;
        int messengerServices = 0;
    };

    void show(const ServiceKey& key, Service& service, const QString& computer);
    void hide(const ServiceKey& key, const Service& service);
    void setStatus(Status status, Problem problem = {});

    QHash<ServiceKey, Service> m_services;
    QList<Computer> m_computers; ///< the rows, sorted by name
    Status m_status = Status::Idle;
    Problem m_problem = {}; ///< meaningful while the status is Unavailable or Failed
};

} // namespace net
