#pragma once

#include "platform/filechooser.h"

#include <QList>
#include <QQueue>

#include <functional>

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
