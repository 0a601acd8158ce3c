#include "statustext.h"

using namespace Qt::StringLiterals;

namespace chat::core {

QString statusText(const ConnectionStatus& status)
{
    if (!status.connected)
        return u"未接続"_s;

    QString address;
    switch (status.addressState) {
    case ConnectionStatus::Address::Resolving:
        address = u"名前解決中"_s;
        break;
    case ConnectionStatus::Address::Found:
        address = status.partnerAddress;
        break;
    case ConnectionStatus::Address::NotFound:
        address = u"アドレス不明"_s;
        break;
    }
    // The refusal comes first: it is what the user must act on, and the panel cuts a long text.
    QString text;
    if (status.partnerUnreachable)
        text = u"相手のポート "_s + QString::number(status.partnerPort) +
               u" に届きません（相手が未接続か、同じ役割を選んでいます）　"_s;
    text += u"自ポート "_s + QString::number(status.localPort) + u"　相手 "_s + status.partnerName + u" ("_s + address +
            u") ポート "_s + QString::number(status.partnerPort);
    if (status.lastArrival.isValid())
        text += u"　最終受信 "_s + status.lastArrival.toString(u"H:mm:ss"_s);
    if (status.lastArrival.isValid() && !status.lastStranger.isEmpty())
        text += u"（他のPC "_s + status.lastStranger + u" から）"_s;
    return text;
}

} // namespace chat::core
