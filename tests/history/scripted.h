#pragma once

#include "platform/filechooser.h"
#include "platform/prompter.h"

#include <QList>
#include <QQueue>

#include <functional>

/// Answers message boxes from a queue (No, or Ok, when it is empty) and records every request.
class ScriptedPrompter final : public platform::Prompter
{
public:
    platform::PromptAnswer prompt(QWidget*, const platform::PromptRequest& request) override
    {
        requests.append(request);
        if (!answers.isEmpty())
            return answers.dequeue();
        return request.buttons == platform::PromptButtons::YesNo ? platform::PromptAnswer::No
                                                                 : platform::PromptAnswer::Ok;
    }

    QQueue<platform::PromptAnswer> answers;
    QList<platform::PromptRequest> requests;
};

/// Returns queued paths (empty, as a cancel, when none is left) and records every request.
class ScriptedFileChooser final : public platform::FileChooser
{
public:
    QString chooseFileToOpen(QWidget*, const platform::OpenFileRequest& request) override
    {
        requests.append(request);
        if (onChoose)
            onChoose();
        return paths.isEmpty() ? QString() : paths.dequeue();
    }

    QQueue<QString> paths;
    QList<platform::OpenFileRequest> requests;
    std::function<void()> onChoose;
};
