#include "chatrules.h"

using namespace Qt::StringLiterals;

namespace chat::core {

QString connectedLabel(const QString& partner)
{
    return u"接続先PC："_s + partner + u"　状態：接続中"_s;
}

QString roleCaption(Role role)
{
    return role == Role::PC1 ? u"PC1側"_s : u"PC2側"_s;
}

QString notificationText(Role ownRole)
{
    const QString hint =
        ownRole == Role::PC1 ? u"貴方はPC2を選んで接続して下さい"_s : u"貴方はPC1を選んで接続して下さい"_s;
    return u"上記PCさんが貴方のPCへTavikLightを用いて接続しました。"_s + hint;
}

QString bindFailureText(quint16 port, const QString& reason)
{
    return u"ポート"_s + QString::number(port) + u"を開けませんでした。\n"_s + reason;
}

QString sendFailureText(const QString& reason)
{
    return u"送信できませんでした。\n"_s + reason;
}

QString noticeFailureText(const QString& reason)
{
    return u"切断の通知を相手に送信できませんでした。\n"_s + reason;
}

} // namespace chat::core
