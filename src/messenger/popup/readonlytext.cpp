#include "readonlytext.h"

#include <QInputMethodEvent>

namespace messenger::popup {

ReadOnlyText::ReadOnlyText(const QString& text, QWidget* parent)
    : QPlainTextEdit(text, parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Set after the flags, which would otherwise decide it.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setInputMethodHints(Qt::ImhNone);
}

QVariant ReadOnlyText::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (query == Qt::ImEnabled)
        return false;
    return QPlainTextEdit::inputMethodQuery(query);
}

void ReadOnlyText::inputMethodEvent(QInputMethodEvent* event)
{
    event->ignore();
}

} // namespace messenger::popup
