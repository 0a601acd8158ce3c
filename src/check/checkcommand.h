#pragma once

#include "check/checkrow.h"

#include <QCommandLineOption>

#include <cstdio>

namespace os {
class CommandLine;
}

namespace check {

/**
 * The connection check on the command line, `tavik-light --check PARTNER [--role PC1|PC2]`: runs
 * without a display (a QCoreApplication of its own) and prints one line per item as the items end,
 * in their order.
 */
class CheckCommand final
{
public:
    /// Adds --check and --role to @p commandLine's parser; call before it reads the arguments.
    /// @p errorText words the failures the lines pass on.
    CheckCommand(os::CommandLine& commandLine, ErrorText errorText);

    /// Whether the arguments read asked for the check (or gave --role, which only it takes).
    bool requested() const;

    /**
     * Runs the check and prints its lines to @p out. Makes the application object itself, so call
     * it before any other is made. @return 0 when every item passed, 1 when one failed, 2 after
     * reporting a wrong --check or --role value on stderr.
     */
    int run(int& argc, char** argv, std::FILE* out = stdout);

private:
    os::CommandLine& m_commandLine;
    QCommandLineOption m_check;
    QCommandLineOption m_role;
    ErrorText m_errorText;
};

} // namespace check
