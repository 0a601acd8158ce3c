#pragma once

#include "chat/ui/tavik.h"
#include "support/scriptedprompter.h"
#include "support/scriptedservices.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>

#include <memory>

namespace testsupport {

/**
 * One main window with scripted services and a fixed clock, and short ways to reach its controls:
 * the window tests, the load test and the chat benchmarks (with the program's real flasher) use it.
 */
struct ChatHarness
{
    ScriptedPrompter prompter;
    ScriptedFlasher flasher;
    ScriptedMessenger messenger;
    ScriptedComputerBrowser browser;
    QList<QList<common::LogLine>> savedAtExit;
    QList<QList<common::LogLine>> savedAtSessionEnd;
    QList<common::LogLine> journalled;
    bool exitMayGoOn = true;
    std::unique_ptr<chat::ui::tavik> window;

    static QDateTime fixedTime() { return QDateTime(QDate(2002, 10, 18), QTime(9, 5, 3)); }

    /// Makes the window; @p adjust may change the services first (e.g. drop the browser).
    void make(const std::function<void(chat::ui::ChatServices&)>& adjust = {})
    {
        chat::ui::ChatServices services;
        services.prompter = &prompter;
        services.flasher = &flasher;
        services.messenger = &messenger;
        services.browser = &browser;
        services.clock = fixedClock(fixedTime());
        services.saveLogBeforeExit = [this](QWidget*, const QList<common::LogLine>& lines) {
            savedAtExit.append(lines);
            return exitMayGoOn;
        };
        services.saveLogAtSessionEnd = [this](const QList<common::LogLine>& lines) { savedAtSessionEnd.append(lines); };
        services.logLineAdded = [this](const common::LogLine& line) { journalled.append(line); };
        if (adjust)
            adjust(services);
        window = std::make_unique<chat::ui::tavik>(std::move(services));
    }

    template<class T> T* control(const char16_t* name) const { return window->findChild<T*>(QString::fromUtf16(name)); }
    QLineEdit* text(const char16_t* name) const { return control<QLineEdit>(name); }
    QPushButton* button(const char16_t* name) const { return control<QPushButton>(name); }
    QRadioButton* option(const char16_t* name) const { return control<QRadioButton>(name); }
    QLabel* label(const char16_t* name) const { return control<QLabel>(name); }
    QListView* list(const char16_t* name) const { return control<QListView>(name); }
    int rowCount(const char16_t* listName) const { return list(listName)->model()->rowCount(); }

    /// Shows the window and connects as PC1 (@p pc2 false) or PC2 to @p partner. @return whether it is connected.
    bool showConnected(bool pc2, const QString& partner = QStringLiteral("127.0.0.1"))
    {
        window->show();
        text(u"Text1")->setText(partner);
        option(pc2 ? u"Option2" : u"Option1")->setChecked(true);
        button(u"Command1")->click();
        return button(u"Command3")->isVisible();
    }

    QStringList lines(const char16_t* listName) const
    {
        QStringList result;
        const QAbstractItemModel* model = list(listName)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            result.append(model->index(row, 0).data().toString());
        return result;
    }
};

} // namespace testsupport
