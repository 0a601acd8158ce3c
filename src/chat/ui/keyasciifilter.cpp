#include "keyasciifilter.h"

#include <QKeyEvent>

#include <utility>

namespace chat::ui {

namespace {

/// The character an Enter key types: 13 alone or with Shift, a line feed with Ctrl, nothing with Alt.
int enterKeyAscii(Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::AltModifier | Qt::MetaModifier))
        return 0;
    return modifiers & Qt::ControlModifier ? 10 : 13;
}

} // namespace

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
            keyAscii = enterKeyAscii(key->modifiers());
        else if (!key->text().isEmpty())
            keyAscii = key->text().at(0).unicode();
        if (keyAscii != 0)
            m_handler(keyAscii);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace chat::ui
