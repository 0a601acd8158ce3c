#pragma once

#include "desktopnotifier.h"
#include "presenter.h"

namespace messenger {

/**
 * Shows each message in a pop-up window of its own and, where a desktop notification server is on
 * the session bus, as a desktop notification too. Needs a QApplication.
 */
class PopupPresenter final : public Presenter
{
public:
    bool present(const Notification& notification) override;

private:
    DesktopNotifier m_desktop;
};

} // namespace messenger
