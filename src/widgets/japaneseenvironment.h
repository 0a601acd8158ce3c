#pragma once

class QCoreApplication;

namespace widgets {

/**
 * The point size of the design font wherever a design names no font of its own: menus, dialogs,
 * lists and the log viewer. 9 points is what such windows showed on the Japanese desktop they
 * were designed on; the controls that name 9.75 points set it themselves.
 */
inline constexpr double DesignPointSize = 9;

/**
 * Makes Qt's part of the interface Japanese as the program's own texts are, whatever the
 * session's locale: loads Qt's Japanese translation (standard buttons, the file dialog, context
 * menus), sets Japanese/Japan as the default locale (calendar and date names), and makes the
 * design font at DesignPointSize the application font (when @p app is a QApplication), so that
 * menus, dialogs and boxes match the windows' controls and the fixed layouts do not depend on
 * the desktop's font size. Call once after @p app exists and before the first window or text.
 * A missing translation is not fatal: Qt's texts then stay English.
 * @return whether Qt's translation was loaded.
 */
bool applyJapaneseEnvironment(QCoreApplication& app);

} // namespace widgets
