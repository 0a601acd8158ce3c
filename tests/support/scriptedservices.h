#pragma once

#include "net/notificationclient.h"
#include "widgets/computerbrowser.h"
#include "widgets/windowflasher.h"

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <deque>
#include <optional>

namespace testsupport {

/// Counts the flash requests and remembers which window each was for.
class ScriptedFlasher final : public widgets::WindowFlasher
{
public:
    void flash(QWidget* window) override { windows.append(window); }
    qsizetype count() const { return windows.size(); }

    QList<QPointer<QWidget>> windows;
};

/// One recorded notification.
struct SentNotification
{
    QString recipient;
    QString text;
};

/// A Messenger that records each notification and answers with a queued result (0 when none is queued).
class ScriptedMessenger final : public net::NotificationClient
{
public:
    void resultNext(quint32 result) { m_results.push_back(result); }

    quint32 send(const QString& recipient, const QString& text) override
    {
        sent.append({recipient, text});
        if (m_results.empty())
            return 0;
        const quint32 result = m_results.front();
        m_results.pop_front();
        return result;
    }

    QList<SentNotification> sent;

private:
    std::deque<quint32> m_results;
};

/// A computer browser that answers with queued choices (std::nullopt is a cancel; cancel when none is queued).
class ScriptedComputerBrowser final : public widgets::ComputerBrowser
{
public:
    void chooseNext(const std::optional<QString>& choice) { m_choices.push_back(choice.value_or(QString())); }

    std::optional<QString> browse(QWidget* parent) override
    {
        parents.append(parent);
        if (m_choices.empty())
            return std::nullopt;
        const QString choice = m_choices.front();
        m_choices.pop_front();
        if (choice.isNull())
            return std::nullopt;
        return choice;
    }

    QList<QPointer<QWidget>> parents;

private:
    // A cancel is queued as a null text, so that no std::optional is moved around (GCC 12 then
    // warns of an uninitialised string that is not).
    std::deque<QString> m_choices;
};

/// A clock that always reads @p when (local time).
inline auto fixedClock(const QDateTime& when)
{
    return [when] { return when; };
}

} // namespace testsupport
