#include "commandline.h"

#include "common/programinfo.h"

using namespace Qt::StringLiterals;

namespace os {

namespace {

// The options QGuiApplication, QApplication and the xcb platform take out of argv when the
// application object is made; with a value, then without one.
constexpr const char16_t* QtValueOptions[] = {u"platform",
                                              u"platformpluginpath",
                                              u"platformtheme",
                                              u"plugin",
                                              u"qwindowgeometry",
                                              u"geometry",
                                              u"qwindowtitle",
                                              u"title",
                                              u"qwindowicon",
                                              u"icon",
                                              u"session",
                                              u"style",
                                              u"stylesheet",
                                              u"display",
                                              u"name",
                                              u"visual",
                                              u"qmljsdebugger"};
constexpr const char16_t* QtFlagOptions[] = {u"reverse", u"widgetcount", u"testability", u"nograb", u"dograb", u"sync"};

QString seeHelp()
{
    return u" (--help で使い方を表示します / see --help)\n"_s;
}

} // namespace

CommandLine::CommandLine(QString program, const QString& description)
    : m_program(std::move(program))
    , m_help({u"h"_s, u"help"_s, u"?"_s}, u"この使い方を表示して終了します (show this help)。"_s)
    , m_version({u"v"_s, u"version"_s}, u"版を表示して終了します (show the version)。"_s)
{
    m_parser.setApplicationDescription(description);
    // Qt's own options are written with one dash ("-platform wayland"), as X programs' are.
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOption(m_help);
    m_parser.addOption(m_version);
    for (const char16_t* name : QtValueOptions) {
        QCommandLineOption option(QString::fromUtf16(name), QString(), u"value"_s);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        m_parser.addOption(option);
    }
    for (const char16_t* name : QtFlagOptions) {
        QCommandLineOption option(QString::fromUtf16(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        m_parser.addOption(option);
    }
}

void CommandLine::print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QStringList CommandLine::arguments(int argc, char** argv)
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list.append(QString::fromLocal8Bit(argv[i]));
    return list;
}

int CommandLine::wrongUsage(const QString& message, std::FILE* err) const
{
    print(err, m_program + u": "_s + message + seeHelp());
    return 2;
}

std::optional<int> CommandLine::read(const QStringList& arguments, std::FILE* out, std::FILE* err)
{
    const QString hint = seeHelp();
    if (!m_parser.parse(arguments)) {
        const QStringList unknown = m_parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            QStringList written;
            for (const QString& name : unknown)
                written.append((name.size() == 1 ? u"-"_s : u"--"_s) + name);
            print(err, m_program + u": 不明なオプションです: "_s + written.join(u", "_s) + hint);
        } else
            print(err, m_program + u": オプションの指定が正しくありません: "_s + m_parser.errorText() + hint);
        return 2;
    }
    // Help before version, as Qt's own parser does, so "--version --help" still explains.
    if (m_parser.isSet(m_help)) {
        // Without an application object the parser cannot know the program's name.
        QString text = m_parser.helpText();
        text.replace(u"<executable_name>"_s, m_program);
        print(out, text);
        return 0;
    }
    if (m_parser.isSet(m_version)) {
        print(out, m_program + u' ' + QString::fromUtf16(common::program::Version) + u'\n');
        return 0;
    }
    if (!m_parser.positionalArguments().isEmpty()) {
        print(err, m_program + u": 余分な引数があります: "_s + m_parser.positionalArguments().join(u' ') + hint);
        return 2;
    }
    return std::nullopt;
}

} // namespace os
