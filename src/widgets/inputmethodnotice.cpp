#include "inputmethodnotice.h"

#include "common/programinfo.h"

#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace widgets {

QString inputMethodNoticeText(const os::UnreachableInputMethod& method)
{
    const QString cause = method.variable == u"QT_IM_MODULE"_s
                              ? u"入力メソッド「%1」（%2 の指定）は、このプログラムが使う Qt 6 からは使えません。"_s
                              : u"入力メソッド「%1」（%2 の指定）に、このプログラムが使う Qt 6 はつながりません"
                                u"（QT_IM_MODULE の指定がありません）。"_s;
    return u"このままでは日本語を入力できません。"_s + cause.arg(method.name, method.variable) +
           u"\n\n日本語入力には IBus (ibus-mozc) か Fcitx 5 (fcitx5-mozc と fcitx5-frontend-qt6) を"
           u"使ってください。im-config で切り替えられます。切り替えたら、ログインし直してください。"_s;
}

QWidget* showInputMethodNotice(QWidget* parent, const os::InputMethodEnvironment& environment,
                               const QStringList& availableModules)
{
    const std::optional<os::UnreachableInputMethod> method = os::unreachableInputMethod(environment, availableModules);
    if (!method)
        return nullptr;
    auto* box = new QMessageBox(QMessageBox::Information, QString::fromUtf16(common::program::ApplicationTitle),
                                inputMethodNoticeText(*method), QMessageBox::Ok, parent);
    box->setObjectName(u"inputMethodNotice"_s);
    box->setTextFormat(Qt::PlainText);
    // The window beneath stays usable: the user may read the notice later, or not need Japanese.
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // An exit through the main window ends the program even while the notice is open.
    box->setAttribute(Qt::WA_QuitOnClose, false);
    box->show();
    return box;
}

} // namespace widgets
