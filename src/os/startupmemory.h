#pragma once

class QObject;

namespace os {

/**
 * Gives the heap that start-up freed back to the system, once @p window has painted for the first
 * time and the event loop is about to wait for the user. Start-up frees much of what it made (the
 * font database's scratch, the pictures decoded for the window, the first layout), but malloc
 * keeps freed pages inside its heap, where they count as the idle program's memory. Does nothing
 * where the C library cannot give them back.
 */
void releaseStartupMemory(QObject* window);

} // namespace os
