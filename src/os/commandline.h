#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace os {

/**
 * The command line of both programs, read before any application object exists: --help and
 * --version are answered without a display and without touching files or the network, and a wrong
 * option or a stray argument ends the program with a one-line message (status 2) before any window
 * or service could start. Qt's own display options (-platform, -display, -style, …) are let through
 * for the application object, which takes them out of argv itself.
 */
class CommandLine final
{
public:
    /// @p program names the executable in the usage line and in messages; @p description opens --help.
    CommandLine(QString program, const QString& description);

    /// The parser, for adding the program's own options before read().
    QCommandLineParser& parser() { return m_parser; }

    /**
     * Reads @p arguments (the program's path first). Returns the exit status when the program must end
     * now: 0 after printing the help or the version to @p out, 2 after reporting a wrong option or
     * argument in one line on @p err. Returns nothing when the program is to run.
     */
    std::optional<int> read(const QStringList& arguments, std::FILE* out = stdout, std::FILE* err = stderr);

    /// Reports a wrong use of the program's own options in one line on @p err. @return 2, the status for it.
    int wrongUsage(const QString& message, std::FILE* err = stderr) const;

    /// Writes @p text to @p stream as UTF-8, at once (the programs' one way to the terminal).
    static void print(std::FILE* stream, const QString& text);

    /// argv as text (UTF-8, as Qt reads it on Linux).
    static QStringList arguments(int argc, char** argv);

private:
    QString m_program;
    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
};

} // namespace os
