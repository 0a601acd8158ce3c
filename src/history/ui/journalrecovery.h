#pragma once

#include <QString>

class QWidget;

namespace widgets {
class Prompter;
} // namespace widgets

namespace history::ui {

/**
 * At the program's start: turns the journals of earlier runs that ended without saving (a crash, a
 * kill, a power cut) into log files, and tells the user in one box which files were written
 * (「前回の会話を保存しました」) and which could not be. Without such journals nothing is shown.
 */
void recoverPreviousConversations(QWidget* parent, widgets::Prompter& prompter, const QString& folder);

} // namespace history::ui
