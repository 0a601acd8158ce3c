#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace widgets {

/// Lets the user pick a computer of the local network, as the shell's network browser did.
class ComputerBrowser
{
public:
    virtual ~ComputerBrowser() = default;
    /**
     * Shows the browser modal to @p parent.
     * @return the chosen computer's name as the network names it (no ".local", no backslashes),
     *         or std::nullopt when the user cancelled.
     */
    virtual std::optional<QString> browse(QWidget* parent) = 0;
};

} // namespace widgets
