#include "checkcommand.h"

#include "check/connectioncheck.h"
#include "os/commandline.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace check {

CheckCommand::CheckCommand(os::CommandLine& commandLine, ErrorText errorText)
    : m_commandLine(commandLine)
    , m_check(u"check"_s,
              u"相手 PARTNER との接続を確かめ、1 項目 1 行で表示して終了します。すべて問題なければ 0、"_s
              u"問題があれば 1 で終わります (check the connection to PARTNER)。"_s,
              u"PARTNER"_s)
    , m_role(u"role"_s, u"--check で確かめる側 PC1 か PC2、既定は PC1 (the role to check)。"_s, u"PC1|PC2"_s)
    , m_errorText(std::move(errorText))
{
    m_commandLine.parser().addOption(m_check);
    m_commandLine.parser().addOption(m_role);
}

bool CheckCommand::requested() const
{
    return m_commandLine.parser().isSet(m_check) || m_commandLine.parser().isSet(m_role);
}

int CheckCommand::run(int& argc, char** argv, std::FILE* out)
{
    const QCommandLineParser& parser = m_commandLine.parser();
    if (!parser.isSet(m_check))
        return m_commandLine.wrongUsage(u"--role は --check と一緒に指定してください。"_s);
    Request request;
    request.partner = parser.value(m_check);
    if (request.partner.isEmpty())
        return m_commandLine.wrongUsage(u"--check には相手のコンピュータ名か IP アドレスを指定してください。"_s);
    const QString role = parser.value(m_role);
    if (role.isEmpty() || role.compare(u"PC1"_s, Qt::CaseInsensitive) == 0)
        request.role = chat::core::Role::PC1;
    else if (role.compare(u"PC2"_s, Qt::CaseInsensitive) == 0)
        request.role = chat::core::Role::PC2;
    else
        return m_commandLine.wrongUsage(u"--role には PC1 か PC2 を指定してください: "_s + role);

    QCoreApplication app(argc, argv);
    ConnectionCheck check(Settings::system(m_errorText));
    // Lines go out in item order, each as soon as it and every one before it have ended.
    int printed = 0;
    QObject::connect(&check, &ConnectionCheck::rowFinished, &check, [&] {
        while (printed < ItemCount && check.rows().at(printed).mark != Mark::Pending) {
            os::CommandLine::print(out, reportLine(Item(printed), check.rows().at(printed)) + u'\n');
            ++printed;
        }
    });
    QObject::connect(&check, &ConnectionCheck::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    check.start(request);
    QCoreApplication::exec();
    // The report is complete. A lookup the check stopped waiting for may still have a question open
    // on the system bus (the mDNS resolver asks for IPv4 and IPv6 at once and takes IPv6 only if it
    // is there in time); its answer meets the bus connection while the process ends, which Qt
    // reports on stderr. Nothing after the report is news to the user.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return allPassed(check.rows()) ? 0 : 1;
}

} // namespace check
