#pragma once

#include "chat/chatservices.h"
#include "chat/tavik.h"
#include "platform/messenger.h"
#include "platform/windowflasher.h"
#include "support/scriptedprompter.h"

#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

namespace loadtest {

/// Counts the flash requests; a flood must ask for one per shown message.
class CountingFlasher final : public platform::WindowFlasher
{
public:
    void flash(QWidget*) override { ++count; }
    qsizetype count = 0;
};

/// A partner notification that always arrives.
class DeliveredMessenger final : public platform::Messenger
{
public:
    quint32 send(const QString&, const QString&) override { return 0; }
};

/// The main window with scripted services and short ways to reach its controls.
struct FloodWindow
{
    testsupport::ScriptedPrompter prompter;
    CountingFlasher flasher;
    DeliveredMessenger messenger;
    std::unique_ptr<chat::tavik> window;

    FloodWindow()
    {
        chat::ChatServices services;
        services.prompter = &prompter;
        services.flasher = &flasher;
        services.messenger = &messenger;
        window = std::make_unique<chat::tavik>(std::move(services));
    }

    template<class T> T* control(const char16_t* name) const { return window->findChild<T*>(QString::fromUtf16(name)); }
    QLineEdit* text(const char16_t* name) const { return control<QLineEdit>(name); }
    QPushButton* button(const char16_t* name) const { return control<QPushButton>(name); }
    QRadioButton* option(const char16_t* name) const { return control<QRadioButton>(name); }
    QListView* list(const char16_t* name) const { return control<QListView>(name); }
    int rowCount(const char16_t* listName) const { return list(listName)->model()->rowCount(); }
};

} // namespace loadtest
