#pragma once

#include "net/computerbrowsermodel.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

namespace net {

/**
 * Browses DNS-SD services through the Avahi daemon's D-Bus API and feeds what it finds into a
 * ComputerBrowserModel: one service browser per service type, each found service resolved to its
 * host. Follows the daemon on the bus: when it stops, the model is told that browsing is
 * impossible; when it comes back, browsing starts again.
 *
 * Avahi before 0.8 starts a browser as soon as it is created, so its first signals may be sent
 * before the reply that names the browser's object path. The session therefore subscribes to the
 * browser signals of every path before it creates any browser, and holds back signals of paths it
 * does not know yet until the pending creations have answered. With Avahi 0.8 it creates the
 * browsers through Server2's *Prepare methods and starts them once it knows their path.
 */
class AvahiBrowseSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AvahiBrowseSession)

public:
    /// The service types a computer browser looks for: the notification service and host services.
    static QStringList defaultServiceTypes();

    AvahiBrowseSession(ComputerBrowserModel& model, const QDBusConnection& bus,
                       const QStringList& serviceTypes = defaultServiceTypes(), QObject* parent = nullptr);
    ~AvahiBrowseSession() override;

    /// Starts browsing afresh: the model is cleared and every service type is browsed again.
    void start();

    /// Creates browsers the way daemons before 0.8 require (ServiceBrowserNew, started at once),
    /// even where Server2 exists; lets that path be checked against a current daemon.
    void useLegacyBrowserApi() { m_legacyApi = true; }

private Q_SLOTS:
    // QtDBus delivers bus signals only to slots named by their signature.
    void onBrowserSignal(const QDBusMessage& message);

private:
    struct Browser
    {
        QString type;
        bool done = false;
        bool failed = false;
    };

    void createBrowser(const QString& type, bool prepare);
    void browserCreated(const QString& type, const QString& path, bool prepared);
    void createFailed(const QString& type, const QDBusMessage& reply, bool prepared);
    void handle(const QString& path, const QDBusMessage& message);
    void resolve(const ServiceKey& key);
    void finishIfDone();
    void freeBrowsers();
    void daemonOwnerChanged(const QString& oldOwner, const QString& newOwner);

    ComputerBrowserModel& m_model;
    QDBusConnection m_bus;
    QStringList m_types;
    QHash<QString, Browser> m_browsers; ///< by object path
    QList<QDBusMessage> m_early;        ///< signals that arrived before their browser's path was known
    int m_pendingCreates = 0;
    int m_failedCreates = 0;
    ComputerBrowserModel::Problem m_lastProblem = {};
    quint64 m_generation = 0; ///< replies of an earlier search are dropped
    bool m_subscribed = false;
    bool m_legacyApi = false;
};

} // namespace net
