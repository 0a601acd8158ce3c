#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace os {

/**
 * Watches the making of the QApplication: when Qt finds no display (or no usable platform plugin) it
 * aborts with a fatal message that speaks of reinstalling; instead, one line says in Japanese and
 * English that no display could be opened, and the program ends with status 1. Qt's messages from
 * the attempt are held back meanwhile and passed on once the application object exists.
 * Make one just before the QApplication and end it (finish()) right after.
 */
class DisplayCheck final
{
    Q_DISABLE_COPY_MOVE(DisplayCheck)

public:
    /// @p program names the program in the message.
    explicit DisplayCheck(const QString& program);
    ~DisplayCheck();

    /// The application object exists: Qt's held-back messages go out and the watch ends.
    void finish();

    /// The line written when no display can be opened, for @p program.
    static QString noDisplayText(const QString& program);

private:
    QtMessageHandler m_previous = nullptr;
    bool m_active = false;
};

} // namespace os
