#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <optional>

#include <unistd.h>

namespace loadtest {

/// The UDP counters of this network namespace (/proc/net/snmp), as far as a load test needs them.
struct UdpCounters
{
    quint64 inDatagrams = 0;  ///< datagrams handed to a reading program (counted when it reads them)
    quint64 rcvbufErrors = 0; ///< datagrams dropped because a receive buffer was full
    quint64 inErrors = 0;     ///< all datagrams dropped on receipt, buffer drops included
};

/// Reads the "Udp:" lines of /proc/net/snmp; std::nullopt when they are missing or unreadable.
inline std::optional<UdpCounters> readUdpCounters()
{
    QFile file(QStringLiteral("/proc/net/snmp"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Files under /proc report no size, so they are read whole rather than line by line.
    const QList<QByteArray> lines = file.readAll().split('\n');
    QList<QByteArray> names;
    for (const QByteArray& untrimmed : lines) {
        const QByteArray line = untrimmed.trimmed();
        if (!line.startsWith("Udp: "))
            continue;
        const QList<QByteArray> fields = line.mid(5).split(' ');
        if (names.isEmpty()) {
            names = fields; // the first "Udp:" line names the columns, the second holds the values
            continue;
        }
        if (fields.size() != names.size())
            return std::nullopt;
        UdpCounters counters;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const quint64 value = fields.at(i).toULongLong();
            if (names.at(i) == "InDatagrams")
                counters.inDatagrams = value;
            else if (names.at(i) == "RcvbufErrors")
                counters.rcvbufErrors = value;
            else if (names.at(i) == "InErrors")
                counters.inErrors = value;
        }
        return counters;
    }
    return std::nullopt;
}

/// Resident memory of this process in bytes (/proc/self/statm), 0 when unreadable.
inline qint64 residentBytes()
{
    QFile file(QStringLiteral("/proc/self/statm"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = file.readAll().split(' ');
    if (fields.size() < 2)
        return 0;
    return fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

/**
 * Measures how late the event loop runs a periodic timer: a loop that is busy with one long
 * piece of work shows it as lag. Only for reporting; a test never asserts on it.
 */
class LagProbe final : public QObject
{
public:
    explicit LagProbe(int intervalMs = 10)
        : m_interval(intervalMs)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 elapsed = m_clock.restart();
            m_lags.append(std::max<qint64>(0, elapsed - m_interval));
        });
    }

    void start()
    {
        m_lags.clear();
        m_clock.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }

    qsizetype samples() const { return m_lags.size(); }
    /// The largest lag in milliseconds.
    qint64 maximum() const { return m_lags.isEmpty() ? 0 : *std::max_element(m_lags.begin(), m_lags.end()); }
    /// The lag that @p fraction (0..1) of the samples do not exceed, in milliseconds.
    qint64 quantile(double fraction) const
    {
        if (m_lags.isEmpty())
            return 0;
        QList<qint64> sorted = m_lags;
        std::sort(sorted.begin(), sorted.end());
        const auto index = qsizetype(fraction * double(sorted.size() - 1));
        return sorted.at(index);
    }

private:
    int m_interval;
    QTimer m_timer;
    QElapsedTimer m_clock;
    QList<qint64> m_lags;
};

} // namespace loadtest
