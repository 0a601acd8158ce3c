#pragma once

namespace messenger {

/**
 * Makes SIGTERM and SIGINT quit the application's event loop, so that the program ends through its
 * normal path (windows closed, sockets released) instead of being cut off. Call once, after the
 * application object exists. @return false when the handlers could not be installed.
 */
bool quitOnTerminationSignals();

} // namespace messenger
