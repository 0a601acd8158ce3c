#pragma once

namespace messenger {

/**
 * Whether a graphical display can be opened, decided before any application object exists. With
 * no platform chosen (QT_QPA_PLATFORM) and neither DISPLAY nor WAYLAND_DISPLAY set there is none.
 * Otherwise a child process tries to open it, because Qt ends a process that cannot connect to its
 * display, and a stale DISPLAY must not take the service down: the service then runs without
 * windows and answers that it cannot show pop-ups. Takes at most a few seconds.
 */
bool displayAvailable(int argc, char** argv);

} // namespace messenger
