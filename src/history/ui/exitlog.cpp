#include "exitlog.h"

#include "common/programinfo.h"
#include "widgets/errortext.h"
#include "widgets/prompter.h"

using namespace Qt::StringLiterals;

namespace history::ui {

bool saveLogBeforeExit(QWidget* parent, widgets::Prompter& prompter, const std::function<core::LogWriteResult()>& write)
{
    const core::LogWriteResult result = write();
    if (!result.failed())
        return true;
    widgets::PromptRequest request;
    request.title = QString::fromUtf16(common::program::ApplicationTitle);
    request.text = u"ログファイルを保存できませんでした。\n\n"_s + result.path + u'\n' +
                   widgets::errorText(result.status) + u"\n\nログを保存せずに終了しますか？"_s;
    request.icon = widgets::PromptIcon::Critical;
    request.buttons = widgets::PromptButtons::YesNo;
    request.defaultAnswer = widgets::PromptAnswer::No;
    return prompter.prompt(parent, request) == widgets::PromptAnswer::Yes;
}

} // namespace history::ui
