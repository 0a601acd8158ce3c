#include "popupwindow.h"

#include "common/datetimetext.h"
#include "common/visibletext.h"
#include "readonlytext.h"
#include "widgets/designcontrol.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace messenger::popup {

using widgets::describe;

namespace {

QLabel* plainLabel(const QString& text, const QString& objectName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    // Selectable so the user can copy a name or address; never links, so nothing can be opened.
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setOpenExternalLinks(false);
    label->setWordWrap(true);
    return label;
}

QString senderName(const service::Notification& notification)
{
    return notification.sender.isEmpty() ? notification.senderAddress.toString()
                                         : common::visibleText(notification.sender, common::TextShape::SingleLine);
}

} // namespace

QString PopupWindow::titleFor(const service::Notification& notification)
{
    return senderName(notification) + u" からのメッセージ"_s;
}

PopupWindow::PopupWindow(const service::Notification& notification, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"PopupWindow"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Qt takes "[*]" in a title as the window-modified mark and drops it; a doubled one shows as
    // itself, so a sender name that holds it appears verbatim.
    const QString title = titleFor(notification);
    setWindowTitle(QString(title).replace(u"[*]"_s, u"[*][*]"_s));

    const QString address = notification.senderAddress.toString();
    m_dateTime = plainLabel(common::dateTimeText(notification.arrival), u"dateTimeLabel"_s, this);
    m_sender = plainLabel(senderName(notification) + u"（"_s + address + u"）"_s, u"senderLabel"_s, this);
    m_recipient = plainLabel(common::visibleText(notification.recipient, common::TextShape::SingleLine),
                             u"recipientLabel"_s, this);

    m_text = new ReadOnlyText(common::visibleText(notification.text, common::TextShape::MultiLine), this);
    m_text->setObjectName(u"messageText"_s);
    m_text->setFocusPolicy(Qt::ClickFocus);

    m_ok = new QPushButton(u"OK"_s, this);
    m_ok->setObjectName(u"okButton"_s);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QWidget::close);

    // A screen reader announces each control by these texts. The fields' captions are separate
    // labels it would not connect to them, and a set name hides a label's own text, so each field's
    // name is its caption followed by its text.
    describe(this, title, u"届いたメッセージを知らせる画面"_s);
    describe(m_dateTime, u"受信日時："_s + m_dateTime->text(), u"メッセージが届いた日時"_s);
    describe(m_sender, u"送信元："_s + m_sender->text(), u"メッセージを送ったコンピュータの名前とアドレス"_s);
    describe(m_recipient, u"宛先："_s + m_recipient->text(), u"メッセージの宛先"_s);
    describe(m_text, u"メッセージ"_s, u"届いたメッセージの本文。読むだけで、書き換えはできません"_s);
    describe(m_ok, u"OKボタン"_s, u"この通知を閉じます"_s);

    auto* fields = new QFormLayout;
    fields->addRow(u"受信日時："_s, m_dateTime);
    fields->addRow(u"送信元："_s, m_sender);
    fields->addRow(u"宛先："_s, m_recipient);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_text, 1);
    layout->addLayout(buttons);

    // Focus inside the window only; showing it does not activate it.
    m_ok->setFocus();
    resize(420, 280);
}

} // namespace messenger::popup
