#pragma once

#include "widgets/computerbrowser.h"

#include <QDBusConnection>

namespace widgets {

/**
 * The computer browser of a Linux desktop: lists the computers that announce themselves by DNS-SD
 * through the Avahi daemon (the notification service and the usual host services). Without the
 * daemon the dialog says so and lists nothing; the user can still cancel and type the name.
 */
class AvahiComputerBrowser final : public ComputerBrowser
{
public:
    /// @p bus is the bus the Avahi daemon is on; the system bus unless a test gives another.
    explicit AvahiComputerBrowser(const QDBusConnection& bus = QDBusConnection::systemBus());

    std::optional<QString> browse(QWidget* parent) override;

private:
    QDBusConnection m_bus;
};

} // namespace widgets
