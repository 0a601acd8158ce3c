#pragma once

namespace os {

/**
 * Whether the desktop session's D-Bus is there and connected. Only a bus that is already there
 * counts: with no address in the environment the D-Bus library would try to start a bus of its own
 * (autolaunch), which a program must not do.
 */
bool sessionBusAvailable();

} // namespace os
