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

/// What became of a message handed to a presenter; the service answers 0, 50 or 2136 from it.
enum class Presentation {
    Shown,     ///< on the screen
    NoDisplay, ///< there is no screen to show it on
    Refused,   ///< not shown for another reason (too many on the screen already)
};

/// Shows accepted messages to the user.
class Presenter
{
public:
    virtual ~Presenter() = default;
    /** Shows @p notification. */
    virtual Presentation present(const Notification& notification) = 0;
};

/// The presenter of a service that runs without a display: it can show nothing.
class NoDisplayPresenter final : public Presenter
{
public:
    Presentation present(const Notification&) override { return Presentation::NoDisplay; }
};

} // namespace messenger
