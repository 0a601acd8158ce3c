#pragma once

#include "widgets/filechooser.h"

#include <QList>
#include <QQueue>

#include <functional>

/// Returns queued paths (empty, as a cancel, when none is left) and records every request.
class ScriptedFileChooser final : public widgets::FileChooser
{
public:
    QString chooseFileToOpen(QWidget*, const widgets::OpenFileRequest& request) override
    {
        requests.append(request);
        if (onChoose)
            onChoose();
        return paths.isEmpty() ? QString() : paths.dequeue();
    }

    QQueue<QString> paths;
    QList<widgets::OpenFileRequest> requests;
    std::function<void()> onChoose;
};
