#pragma once

#include "widgets/filechooser.h"

#include <QList>
#include <QQueue>

#include <functional>

/// Returns queued paths and folders (empty, as a cancel, when none is left) and records every request.
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

    QString chooseFolder(QWidget*, const QString& initialFolder) override
    {
        folderRequests.append(initialFolder);
        return folders.isEmpty() ? QString() : folders.dequeue();
    }

    QQueue<QString> paths;
    QQueue<QString> folders;
    QStringList folderRequests;
    QList<widgets::OpenFileRequest> requests;
    std::function<void()> onChoose;
};
