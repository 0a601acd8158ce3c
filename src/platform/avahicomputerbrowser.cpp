#include "avahicomputerbrowser.h"

#include "avahibrowsesession.h"
#include "computerbrowserdialog.h"
#include "computerbrowsermodel.h"

namespace platform {

AvahiComputerBrowser::AvahiComputerBrowser(const QDBusConnection& bus)
    : m_bus(bus)
{}

std::optional<QString> AvahiComputerBrowser::browse(QWidget* parent)
{
    ComputerBrowserModel model;
    AvahiBrowseSession session(model, m_bus);
    ComputerBrowserDialog dialog(model, parent);
    QObject::connect(&dialog, &ComputerBrowserDialog::refreshRequested, &session, &AvahiBrowseSession::start);
    session.start();
    if (dialog.exec() != QDialog::Accepted || dialog.chosenName().isEmpty())
        return std::nullopt;
    return dialog.chosenName();
}

} // namespace platform
