#pragma once

#include <QPlainTextEdit>

namespace messenger::popup {

/**
 * Plain text the user can select and copy but nobody can change: not by typing and not through an
 * input method. A read-only QPlainTextEdit whose text is selectable still takes an input method's
 * commit (it replaced the selection with what was typed), so this view asks for no input method
 * and drops whatever one sends.
 */
class ReadOnlyText final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadOnlyText)

public:
    explicit ReadOnlyText(const QString& text, QWidget* parent = nullptr);

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

protected:
    void inputMethodEvent(QInputMethodEvent* event) override;
};

} // namespace messenger::popup
