#pragma once

#include "messenger/service/presenter.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

/// Records what the service hands over; answers as told. Safe to use from the service's thread.
class RecordingPresenter final : public messenger::service::Presenter
{
public:
    explicit RecordingPresenter(bool canShow = true, bool hasRoom = true)
        : m_canShow(canShow)
        , m_hasRoom(hasRoom)
    {}
    bool hasRoom() const override { return m_hasRoom; }
    bool present(const messenger::service::Notification& notification) override
    {
        QMutexLocker lock(&m_mutex);
        m_seen.append(notification);
        return m_canShow;
    }
    QList<messenger::service::Notification> seen() const
    {
        QMutexLocker lock(&m_mutex);
        return m_seen;
    }

private:
    bool m_canShow;
    bool m_hasRoom;
    mutable QMutex m_mutex;
    QList<messenger::service::Notification> m_seen;
};
