#pragma once

#include "messenger/service/presenter.h"
#include "os/desktopnotifier.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>

namespace messenger::popup {

/**
 * Shows each message in a pop-up window of its own and, where a desktop notification server is on
 * the session bus, raises a desktop notification that draws attention to it: clicking it brings the
 * pop-up to the front, closing the pop-up withdraws it. Needs a QApplication.
 *
 * The per-sender rate limit does not stop many senders together (or one sender with many IPv6
 * addresses) from covering the screen, so at most MaxOpen pop-ups are open at once; further
 * messages are refused until the user closes some.
 */
class PopupPresenter final : public service::Presenter
{
public:
    static constexpr int MaxOpen = 20;

    PopupPresenter();

    bool hasRoom() const override;
    bool present(const service::Notification& notification) override;
    /// The pop-up the last successful present() opened; null once it is gone.
    QWidget* lastShown() const { return m_lastShown; }

private:
    os::DesktopNotifier m_desktop;
    quint64 m_shown = 0;                       ///< numbers the pop-ups, the keys of their notifications
    QHash<QString, QPointer<QWidget>> m_byKey; ///< the pop-up of each desktop notification
    mutable QList<QPointer<QWidget>> m_open;   ///< pruned of closed pop-ups when counted
    QPointer<QWidget> m_lastShown;
};

} // namespace messenger::popup
