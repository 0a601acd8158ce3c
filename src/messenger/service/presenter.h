#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QString>

namespace messenger::service {

/// One message the service accepted, with where and when it came from.
struct Notification
{
    QString sender;             ///< the sending computer's name as it gave it (may be empty)
    QHostAddress senderAddress; ///< the address the message came from (IPv4-mapped addresses as IPv4)
    QString recipient;          ///< the recipient name as the sender typed it
    QString text;
    QDateTime arrival; ///< local date and time the message arrived
};

/// Shows accepted messages to the user. The service answers 0, 50 or 2136 from what it says.
class Presenter
{
public:
    virtual ~Presenter() = default;
    /** Whether one more message may be shown now; when not, the message is answered 2136 and shown nowhere. */
    virtual bool hasRoom() const { return true; }
    /** Shows @p notification. @return false when it cannot be shown at all (no display). */
    virtual bool present(const Notification& notification) = 0;
};

/// The presenter of a service that runs without a display: it can show nothing.
class NoDisplayPresenter final : public Presenter
{
public:
    bool present(const Notification&) override { return false; }
};

} // namespace messenger::service
