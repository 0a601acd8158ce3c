#include "avahicomputerbrowser.h"

#include "computerbrowserdialog.h"
#include "net/avahibrowsesession.h"
#include "net/computerbrowsermodel.h"

namespace widgets {

AvahiComputerBrowser::AvahiComputerBrowser(const QDBusConnection& bus)
    : m_bus(bus)
{}

std::optional<QString> AvahiComputerBrowser::browse(QWidget* parent)
{
    net::ComputerBrowserModel model;
    net::AvahiBrowseSession session(model, m_bus);
    ComputerBrowserDialog dialog(model, parent);
    QObject::connect(&dialog, &ComputerBrowserDialog::refreshRequested, &session, &net::AvahiBrowseSession::start);
    session.start();
    if (dialog.exec() != QDialog::Accepted || dialog.chosenName().isEmpty())
        return std::nullopt;
    return dialog.chosenName();
}

} // namespace widgets
