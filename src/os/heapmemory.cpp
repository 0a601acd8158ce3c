#include "heapmemory.h"

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QObject>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace os {

namespace {

void trimHeap()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

/// Waits for the window's first paint, then for the event loop to fall idle, then trims once.
class FirstPaintWatcher final : public QObject
{
public:
    explicit FirstPaintWatcher(QObject* window)
        : QObject(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
                connect(
                    dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                    [this] {
                        trimHeap();
                        deleteLater();
                    },
                    Qt::SingleShotConnection);
            }
        }
        return false;
    }
};

} // namespace

void releaseStartupMemory(QObject* window)
{
    new FirstPaintWatcher(window);
}

void keepFreedHeapForReuse()
{
#if defined(__GLIBC__)
    // Setting either fixes both: the C library's own adjustment of them stops.
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}

} // namespace os
