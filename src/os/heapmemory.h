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

/**
 * Keeps up to 16 MiB of freed heap for reuse instead of giving it back to the system at once, and
 * serves blocks up to 1 MiB from the heap. A flood of the largest datagrams makes and frees a few
 * strings of 128 KiB per datagram; with the C library's defaults each of them is handed back and
 * the next one faults fresh, zeroed pages in: 150,000 page faults and a fifth of the time for
 * 20,000 datagrams. releaseStartupMemory() still gives the start-up heap back. Call it before
 * anything is allocated in earnest; does nothing where the C library has no such settings.
 */
void keepFreedHeapForReuse();

} // namespace os
