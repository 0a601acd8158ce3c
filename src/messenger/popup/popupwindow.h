#pragma once

#include "messenger/service/presenter.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace messenger::popup {

class ReadOnlyText;

/**
 * One received message in a small window of its own: who sent it from where, to whom, when, and
 * the text, all as plain text with control characters made visible, and an OK button that closes
 * it. The window appears without being activated, so whatever the user is typing into keeps the
 * keyboard focus; it deletes itself when closed.
 */
class PopupWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PopupWindow)

public:
    explicit PopupWindow(const service::Notification& notification, QWidget* parent = nullptr);

    /// The window title for a message from @p notification's sender.
    static QString titleFor(const service::Notification& notification);

private:
    QLabel* m_dateTime;
    QLabel* m_sender;
    QLabel* m_recipient;
    ReadOnlyText* m_text;
    QPushButton* m_ok;
};

} // namespace messenger::popup
