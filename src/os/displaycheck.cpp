#include "displaycheck.h"

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace os {

namespace {

struct HeldMessage
{
    QtMsgType type;
    QString file;
    QString function;
    QString category;
    int line;
    QString text;
};

// One watch at a time: a message handler is a plain function and finds its state here.
QByteArray g_noDisplayLine;
QList<HeldMessage>* g_held = nullptr;

void holdOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        // Nothing has been started yet: ending here loses nothing.
        std::fwrite(g_noDisplayLine.constData(), 1, size_t(g_noDisplayLine.size()), stderr);
        std::fflush(stderr);
        ::_exit(1);
    }
    if (g_held)
        g_held->append({type, QString::fromUtf8(context.file), QString::fromUtf8(context.function),
                        QString::fromUtf8(context.category), context.line, text});
}

} // namespace

QString DisplayCheck::noDisplayText(const QString& program)
{
    return program + u": 画面に接続できないため起動できません。"_s +
           u"Cannot start: no display could be opened (DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM).\n"_s;
}

DisplayCheck::DisplayCheck(const QString& program)
{
    g_noDisplayLine = noDisplayText(program).toUtf8();
    g_held = new QList<HeldMessage>;
    m_previous = qInstallMessageHandler(holdOrEnd);
    m_active = true;
}

DisplayCheck::~DisplayCheck()
{
    finish();
}

void DisplayCheck::finish()
{
    if (!m_active)
        return;
    m_active = false;
    qInstallMessageHandler(m_previous);
    const QList<HeldMessage> held = std::move(*g_held);
    delete g_held;
    g_held = nullptr;
    for (const HeldMessage& message : held) {
        const QByteArray file = message.file.toUtf8();
        const QByteArray function = message.function.toUtf8();
        const QByteArray category = message.category.toUtf8();
        const QMessageLogContext context(file.isEmpty() ? nullptr : file.constData(), message.line,
                                         function.isEmpty() ? nullptr : function.constData(),
                                         category.isEmpty() ? nullptr : category.constData());
        qt_message_output(message.type, context, message.text);
    }
}

} // namespace os
