#pragma once

#include <QObject>

#include <functional>

namespace chat::ui {

/**
 * Hands every key typed into the watched control to a KeyPress handler as its character code:
 * 13 for Enter (10 for Ctrl+Enter, nothing for Alt+Enter), otherwise the typed character's code;
 * keys that type nothing are not handed on.
 * The control still receives every key itself.
 */
class KeyAsciiFilter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeyAsciiFilter)

public:
    using Handler = std::function<void(int& keyAscii)>;

    /// Watches @p control (and belongs to it).
    KeyAsciiFilter(QObject* control, Handler handler);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Handler m_handler;
};

} // namespace chat::ui
