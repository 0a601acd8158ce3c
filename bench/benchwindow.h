#pragma once

#include "chat/chatservices.h"
#include "chat/tavik.h"
#include "platform/messenger.h"
#include "platform/prompter.h"
#include "platform/windowflasher.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

namespace bench {

/// Answers every message box as its default button would, without showing it.
class SilentPrompter final : public platform::Prompter
{
public:
    platform::PromptAnswer prompt(QWidget*, const platform::PromptRequest& request) override
    {
        ++count;
        return request.defaultAnswer;
    }
    int count = 0;
};

/// A partner notification that always arrives: the benchmarks measure the chat, not the service.
class DeliveredMessenger final : public platform::Messenger
{
public:
    quint32 send(const QString&, const QString&) override { return 0; }
};

/**
 * One main window with the program's real window flasher (on X a round trip to the server once
 * per turn of the event loop, as for a user) and silent boxes and notification, connected to
 * 127.0.0.1 in the given role.
 */
struct ConnectedWindow
{
    SilentPrompter prompter;
    DeliveredMessenger messenger;
    platform::AlertWindowFlasher flasher;
    std::unique_ptr<chat::tavik> window;

    template<class T> T* control(const QString& name) const { return window->findChild<T*>(name); }

    /// Shows the window and connects as PC1 (@p pc2 false) or PC2. @return whether it is connected.
    bool open(bool pc2)
    {
        using namespace Qt::StringLiterals;
        chat::ChatServices services;
        services.prompter = &prompter;
        services.flasher = &flasher;
        services.messenger = &messenger;
        window = std::make_unique<chat::tavik>(std::move(services));
        window->show();
        control<QLineEdit>(u"Text1"_s)->setText(u"127.0.0.1"_s);
        control<QRadioButton>(pc2 ? u"Option2"_s : u"Option1"_s)->setChecked(true);
        control<QPushButton>(u"Command1"_s)->click();
        return control<QPushButton>(u"Command3"_s)->isVisible();
    }
};

} // namespace bench
