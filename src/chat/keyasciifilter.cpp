#include "keyasciifilter.h"

#include <QKeyEvent>

#include <utility>

namespace chat {

KeyAsciiFilter::KeyAsciiFilter(QObject* control, Handler handler)
    : QObject(control)
    , m_handler(std::move(handler))
{
    control->installEventFilter(this);
}

bool KeyAsciiFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        int keyAscii = 0;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            keyAscii = 13;
        else if (!key->text().isEmpty())
            keyAscii = key->text().at(0).unicode();
        if (keyAscii != 0)
            m_handler(keyAscii);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace chat
