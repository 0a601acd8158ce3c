#include "journalrecovery.h"

#include "common/programinfo.h"
#include "history/core/journal.h"
#include "widgets/errortext.h"
#include "widgets/prompter.h"

using namespace Qt::StringLiterals;

namespace history::ui {

void recoverPreviousConversations(QWidget* parent, widgets::Prompter& prompter, const QString& folder)
{
    const QList<core::RecoveredJournal> recovered = core::recoverJournals(folder);
    if (recovered.isEmpty())
        return;
    QStringList written;
    QStringList failed;
    for (const core::RecoveredJournal& journal : recovered) {
        if (journal.status.isOk())
            written << journal.logPath;
        else
            failed << journal.logPath + u'\n' + widgets::errorText(journal.status);
    }
    QString text;
    if (!written.isEmpty())
        text = u"前回の会話を保存しました。\n\n"_s + written.join(u'\n');
    if (!failed.isEmpty()) {
        if (!text.isEmpty())
            text += u"\n\n"_s;
        text +=
            u"前回の会話を保存できませんでした。次の起動時にもう一度保存を試みます。\n\n"_s + failed.join(u"\n\n"_s);
    }
    widgets::PromptRequest request;
    request.title = QString::fromUtf16(common::program::ApplicationTitle);
    request.text = text;
    request.icon = failed.isEmpty() ? widgets::PromptIcon::Information : widgets::PromptIcon::Warning;
    prompter.prompt(parent, request);
}

} // namespace history::ui
