#include "launcherentry.h"

#include "os/sessionbus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace os {

LauncherEntry::LauncherEntry(const QString& desktopId, QObject* parent)
    : QObject(parent)
    , m_appUri(u"application://"_s + desktopId + u".desktop"_s)
    , m_available(sessionBusAvailable())
{
    // The taskbars listen on every path; the path names the program, in the characters a path allows.
    QString element = desktopId;
    for (QChar& c : element) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80))
            c = u'_';
    }
    m_path = u"/com/canonical/unity/launcherentry/"_s + element;
    m_interval.setSingleShot(true);
    m_interval.setInterval(Interval);
    connect(&m_interval, &QTimer::timeout, this, [this] {
        if (m_count != m_sentCount)
            send();
    });
}

void LauncherEntry::setCount(qint64 count)
{
    m_count = count;
    if (!m_available || m_count == m_sentCount || m_interval.isActive())
        return; // sent when the interval is over
    send();
}

void LauncherEntry::send()
{
    QDBusMessage update = QDBusMessage::createSignal(m_path, QString::fromUtf16(Interface), u"Update"_s);
    const QVariantMap properties{{u"count"_s, m_count}, {u"count-visible"_s, m_count > 0}};
    update << m_appUri << properties;
    QDBusConnection::sessionBus().send(update);
    m_sentCount = m_count;
    m_interval.start();
}

} // namespace os
