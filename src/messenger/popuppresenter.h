#pragma once

#include "messenger/desktopnotifier.h"
#include "messenger/presenter.h"

#include <QList>
#include <QPointer>
#include <QWidget>

namespace messenger {

/**
 * Shows each message in a pop-up window of its own and, where a desktop notification server is on
 * the session bus, as a desktop notification too. Needs a QApplication.
 *
 * The per-sender rate limit does not stop many senders together (or one sender with many IPv6
 * addresses) from covering the screen, so at most MaxOpen pop-ups are open at once; further
 * messages are refused until the user closes some.
 */
class PopupPresenter final : public Presenter
{
public:
    static constexpr int MaxOpen = 20;

    bool hasRoom() const override;
    bool present(const Notification& notification) override;

private:
    DesktopNotifier m_desktop;
    mutable QList<QPointer<QWidget>> m_open; ///< pruned of closed pop-ups when counted
};

} // namespace messenger
