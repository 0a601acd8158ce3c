#pragma once

#include "history/core/logwriter.h"

#include <functional>

class QWidget;

namespace widgets {
class Prompter;
} // namespace widgets

namespace history::ui {

/**
 * The log step of the confirmed exit: writes the log through @p write (the journal's, in the
 * program); when that fails, a critical box titled "taviklight" names the file and the reason and
 * asks whether to exit anyway, No being the default.
 * @return true when the program may close: written, nothing to write, or the user chose to exit
 * without the log. false keeps the program open with its log lines untouched.
 */
bool saveLogBeforeExit(QWidget* parent, widgets::Prompter& prompter,
                       const std::function<core::LogWriteResult()>& write);

} // namespace history::ui
