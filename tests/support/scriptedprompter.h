#pragma once

#include "widgets/prompter.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>

namespace testsupport {

/**
 * A Prompter for tests: records every box (title, text, icon, buttons, default) and answers it
 * from a queue. With the queue empty it answers as closing the box would: Ok, or No for Yes/No.
 */
class ScriptedPrompter final : public widgets::Prompter
{
public:
    /// Queues the answer to the next box.
    void answerNext(widgets::PromptAnswer answer) { m_answers.push_back(answer); }

    widgets::PromptAnswer prompt(QWidget* parent, const widgets::PromptRequest& request) override
    {
        requests.append(request);
        parents.append(parent);
        if (onPrompt)
            onPrompt(request);
        if (!m_answers.empty()) {
            const widgets::PromptAnswer answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        }
        return request.buttons == widgets::PromptButtons::YesNo ? widgets::PromptAnswer::No : widgets::PromptAnswer::Ok;
    }

    /// The texts of the recorded boxes, in order.
    QStringList texts() const
    {
        QStringList result;
        for (const widgets::PromptRequest& request : requests)
            result.append(request.text);
        return result;
    }

    /// The last recorded box; the caller makes sure there is one.
    const widgets::PromptRequest& last() const { return requests.last(); }

    QList<widgets::PromptRequest> requests;
    QList<QPointer<QWidget>> parents;
    /// Runs inside every box, as a user's action while a modal box is open would.
    std::function<void(const widgets::PromptRequest&)> onPrompt;

private:
    std::deque<widgets::PromptAnswer> m_answers;
};

} // namespace testsupport
