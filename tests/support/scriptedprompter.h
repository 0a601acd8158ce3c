#pragma once

#include "platform/prompter.h"

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
class ScriptedPrompter final : public platform::Prompter
{
public:
    /// Queues the answer to the next box.
    void answerNext(platform::PromptAnswer answer) { m_answers.push_back(answer); }

    platform::PromptAnswer prompt(QWidget* parent, const platform::PromptRequest& request) override
    {
        requests.append(request);
        parents.append(parent);
        if (onPrompt)
            onPrompt(request);
        if (!m_answers.empty()) {
            const platform::PromptAnswer answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        }
        return request.buttons == platform::PromptButtons::YesNo ? platform::PromptAnswer::No
                                                                 : platform::PromptAnswer::Ok;
    }

    /// The texts of the recorded boxes, in order.
    QStringList texts() const
    {
        QStringList result;
        for (const platform::PromptRequest& request : requests)
            result.append(request.text);
        return result;
    }

    /// The last recorded box; the caller makes sure there is one.
    const platform::PromptRequest& last() const { return requests.last(); }

    QList<platform::PromptRequest> requests;
    QList<QPointer<QWidget>> parents;
    /// Runs inside every box, as a user's action while a modal box is open would.
    std::function<void(const platform::PromptRequest&)> onPrompt;

private:
    std::deque<platform::PromptAnswer> m_answers;
};

} // namespace testsupport
