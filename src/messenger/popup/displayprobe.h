#pragma once

namespace messenger::popup {

/// The display pop-ups would be shown on, as Qt chose it.
enum class ProbedDisplay {
    None,    ///< no display can be opened
    X11,     ///< Qt's X11 plugin (xcb)
    Wayland, ///< one of Qt's Wayland plugins
    Other,   ///< another platform (offscreen, vnc, …), or one that could not be probed
};

/**
 * Whether a graphical display can be opened, decided before any application object exists. With
 * no platform chosen (QT_QPA_PLATFORM) and neither DISPLAY nor WAYLAND_DISPLAY set there is none.
 * Otherwise a child process tries to open it, because Qt ends a process that cannot connect to its
 * display, and a stale DISPLAY must not take the service down: the service then runs without
 * windows and answers that it cannot show pop-ups. Takes at most a few seconds.
 * Tells which platform Qt chose: the pop-up process, with the same environment and options, makes
 * the same choice, so the service can watch the very display its pop-ups appear on.
 */
ProbedDisplay probeDisplay(int argc, char** argv);

} // namespace messenger::popup
