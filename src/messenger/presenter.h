#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QString>

namespace messenger {

/// One message the service accepted, with where and when it came from.
struct Notification
{
    QString sender;             ///< the sending computer's name as it gave it (may be empty)
    QHostAddress senderAddress; ///< the address the message came from (IPv4-mapped addresses as IPv4)
    QString recipient;          ///< the recipient name as the sender typed it
    QString text;
    QDateTime arrival; ///< local date and time the message arrived
};

/// Shows accepted messages to the user. The service answers 0 or 50 from what it returns.
class Presenter
{
public:
    virtual ~Presenter() = default;
    /** Shows @p notification. @return false when it cannot be shown at all (no display). */
    virtual bool present(const Notification& notification) = 0;
};

/// The presenter of a service that runs without a display: it can show nothing.
class NoDisplayPresenter final : public Presenter
{
public:
    bool present(const Notification&) override { return false; }
};

} // namespace messenger
