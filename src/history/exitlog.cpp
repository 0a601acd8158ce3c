#include "exitlog.h"

#include "common/programinfo.h"
#include "platform/errortext.h"
#include "platform/prompter.h"

using namespace Qt::StringLiterals;

namespace history {

bool saveLogBeforeExit(QWidget* parent, platform::Prompter& prompter, const std::function<LogWriteResult()>& write)
{
    const LogWriteResult result = write();
    if (!result.failed())
        return true;
    platform::PromptRequest request;
    request.title = QString::fromUtf16(common::program::ApplicationTitle);
    request.text = u"ログファイルを保存できませんでした。\n\n"_s + result.path + u'\n' +
                   platform::errorText(result.status) + u"\n\nログを保存せずに終了しますか？"_s;
    request.icon = platform::PromptIcon::Critical;
    request.buttons = platform::PromptButtons::YesNo;
    request.defaultAnswer = platform::PromptAnswer::No;
    return prompter.prompt(parent, request) == platform::PromptAnswer::Yes;
}

} // namespace history
