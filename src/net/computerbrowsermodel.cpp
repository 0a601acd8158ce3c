#include "computerbrowsermodel.h"

#include "avahidbus.h"

#include <QRegularExpression>

#include <algorithm>

namespace net {

namespace {

/// Cuts a name from the network at its first NUL and drops UNC-style leading backslashes.
QString cleanName(QString name)
{
    const qsizetype nul = name.indexOf(QChar(u'\0'));
    if (nul >= 0)
        name.truncate(nul);
    qsizetype backslashes = 0;
    while (backslashes < name.size() && name.at(backslashes) == u'\\')
        ++backslashes;
    name.remove(0, backslashes);
    return name;
}

bool isMessenger(const ServiceKey& key)
{
    return key.type.compare(avahi::messengerServiceType(), Qt::CaseInsensitive) == 0;
}

} // namespace

size_t qHash(const ServiceKey& key, size_t seed) noexcept
{
    return qHashMulti(seed, key.interfaceIndex, key.protocol, key.name, key.type, key.domain);
}

QString computerNameFromHost(const QString& hostName)
{
    QString name = cleanName(hostName);
    if (name.endsWith(u'.'))
        name.chop(1);
    if (name.endsWith(QLatin1StringView(".local"), Qt::CaseInsensitive))
        name.chop(6);
    return name;
}

QString computerNameFromService(const QString& serviceName, const QString& type)
{
    QString name = cleanName(serviceName);
    if (type.compare(QLatin1StringView("_workstation._tcp"), Qt::CaseInsensitive) == 0) {
        static const QRegularExpression hardwareAddress(
            QStringLiteral("\\s*\\[[0-9A-Fa-f]{2}(?::[0-9A-Fa-f]{2}){5}\\]$"));
        name.remove(hardwareAddress);
    }
    return name;
}

ComputerBrowserModel::ComputerBrowserModel(QObject* parent)
    : QAbstractTableModel(parent)
{}

ComputerBrowserModel::~ComputerBrowserModel() = default;

int ComputerBrowserModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_computers.size());
}

int ComputerBrowserModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ComputerBrowserModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Computer& computer = m_computers.at(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (index.column() == NameColumn)
            return computer.name;
        if (index.column() == MessengerColumn)
            return computer.messengerServices > 0 ? QStringLiteral("通知サービスあり") : QString();
    }
    return {};
}

QVariant ComputerBrowserModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == NameColumn)
        return QStringLiteral("コンピュータ名");
    if (section == MessengerColumn)
        return QStringLiteral("通知サービス");
    return {};
}

void ComputerBrowserModel::beginSearch()
{
    beginResetModel();
    m_services.clear();
    m_computers.clear();
    endResetModel();
    setStatus(Status::Searching);
}

void ComputerBrowserModel::serviceFound(const ServiceKey& key)
{
    if (!m_services.contains(key))
        m_services.insert(key, Service{});
}

void ComputerBrowserModel::serviceResolved(const ServiceKey& key, const QString& hostName)
{
    // A resolution may arrive after its service was removed; it is then ignored.
    const auto it = m_services.find(key);
    if (it == m_services.end())
        return;
    show(key, it.value(), computerNameFromHost(hostName));
}

void ComputerBrowserModel::serviceUnresolved(const ServiceKey& key)
{
    const auto it = m_services.find(key);
    if (it == m_services.end() || !it->computer.isEmpty())
        return;
    show(key, it.value(), computerNameFromService(key.name, key.type));
}

void ComputerBrowserModel::serviceRemoved(const ServiceKey& key)
{
    const auto it = m_services.find(key);
    if (it == m_services.end())
        return;
    hide(key, it.value());
    m_services.erase(it);
}

void ComputerBrowserModel::searchFinished()
{
    if (m_status == Status::Searching)
        setStatus(Status::Finished);
}

void ComputerBrowserModel::setUnavailable(Problem problem)
{
    beginResetModel();
    m_services.clear();
    m_computers.clear();
    endResetModel();
    setStatus(Status::Unavailable, problem);
}

void ComputerBrowserModel::setFailed(Problem problem)
{
    setStatus(Status::Failed, problem);
}

QString ComputerBrowserModel::computerName(int row) const
{
    return row >= 0 && row < m_computers.size() ? m_computers.at(row).name : QString();
}

bool ComputerBrowserModel::hasMessenger(int row) const
{
    return row >= 0 && row < m_computers.size() && m_computers.at(row).messengerServices > 0;
}

int ComputerBrowserModel::rowOf(const QString& name) const
{
    for (int row = 0; row < m_computers.size(); ++row) {
        if (m_computers.at(row).name.compare(name, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

void ComputerBrowserModel::show(const ServiceKey& key, Service& service, const QString& computer)
{
    if (service.computer.compare(computer, Qt::CaseInsensitive) == 0 && !service.computer.isEmpty())
        return;
    if (!service.computer.isEmpty()) {
        hide(key, service);
        service.computer.clear();
    }
    // A name that is empty once cleaned names no computer; the service stays hidden.
    if (computer.isEmpty())
        return;
    service.computer = computer;

    const int countBefore = static_cast<int>(m_computers.size());
    int row = rowOf(computer);
    if (row < 0) {
        const auto at = std::lower_bound(
            m_computers.cbegin(), m_computers.cend(), computer,
            [](const Computer& c, const QString& name) { return c.name.compare(name, Qt::CaseInsensitive) < 0; });
        row = static_cast<int>(at - m_computers.cbegin());
        beginInsertRows({}, row, row);
        m_computers.insert(row, Computer{computer, 0, 0});
        endInsertRows();
    }
    Computer& entry = m_computers[row];
    ++entry.services;
    if (isMessenger(key)) {
        ++entry.messengerServices;
        if (entry.messengerServices == 1) {
            const QModelIndex cell = index(row, MessengerColumn);
            Q_EMIT dataChanged(cell, cell);
        }
    }
    if (countBefore != m_computers.size() && m_status == Status::Finished)
        Q_EMIT statusChanged(); // the count in the status line changed
}

void ComputerBrowserModel::hide(const ServiceKey& key, const Service& service)
{
    if (service.computer.isEmpty())
        return;
    const int row = rowOf(service.computer);
    if (row < 0)
        return;
    Computer& entry = m_computers[row];
    --entry.services;
    if (isMessenger(key))
        --entry.messengerServices;
    if (entry.services <= 0) {
        beginRemoveRows({}, row, row);
        m_computers.removeAt(row);
        endRemoveRows();
        if (m_status == Status::Finished)
            Q_EMIT statusChanged();
    } else if (isMessenger(key) && entry.messengerServices == 0) {
        const QModelIndex cell = index(row, MessengerColumn);
        Q_EMIT dataChanged(cell, cell);
    }
}

void ComputerBrowserModel::setStatus(Status status, Problem problem)
{
    if (m_status == status && m_problem == problem)
        return;
    m_status = status;
    m_problem = problem;
    Q_EMIT statusChanged();
}

} // namespace net
