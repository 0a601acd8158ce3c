#pragma once

#include "messenger/presenter.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

/// Records what the service hands over; answers as told. Safe to use from the service's thread.
class RecordingPresenter final : public messenger::Presenter
{
public:
    explicit RecordingPresenter(messenger::Presentation answer = messenger::Presentation::Shown)
        : m_answer(answer)
    {}
    messenger::Presentation present(const messenger::Notification& notification) override
    {
        QMutexLocker lock(&m_mutex);
        m_seen.append(notification);
        return m_answer;
    }
    QList<messenger::Notification> seen() const
    {
        QMutexLocker lock(&m_mutex);
        return m_seen;
    }

private:
    messenger::Presentation m_answer;
    mutable QMutex m_mutex;
    QList<messenger::Notification> m_seen;
};
