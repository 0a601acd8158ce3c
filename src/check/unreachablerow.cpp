#include "unreachablerow.h"

#include "common/datetimetext.h"
#include "common/programinfo.h"
#include "net/hostaddress.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace check {

Row portUnreachableRow(const ChatSocketReport& socket, const QList<QHostAddress>& partnerAddresses,
                       chat::core::Role ownRole)
{
    if (!socket.available) {
        return {
            Mark::NotJudged,
            u"このコマンドはチャットのソケットを使わないため分かりません（ウィンドウのツールメニュー「接続の確認」で分かります）。"_s,
            {}};
    }
    const quint16 partnerPort = chat::core::portsFor(ownRole).remote;
    const auto& notice = socket.lastPortUnreachable;
    const Row none{Mark::Passed, u"相手からの「ポート到達不能」は受け取っていません。"_s, {}};
    if (!notice || notice->port != partnerPort)
        return none;

    const QString heard = u"%1 に %2 のポート%3/UDP から「ポート到達不能」が返りました"_s.arg(
        common::dateTimeText(notice->time), notice->address.toString(), QString::number(notice->port));
    if (partnerAddresses.isEmpty())
        return {Mark::NotJudged, heard + u"が、相手のアドレスが分からないため相手からかどうか分かりません。"_s, {}};
    const QHostAddress from = net::plainAddress(notice->address);
    const bool fromPartner = std::any_of(partnerAddresses.cbegin(), partnerAddresses.cend(),
                                         [&](const QHostAddress& a) { return net::plainAddress(a) == from; });
    if (!fromPartner)
        return none;
    const QString program = QString::fromUtf16(common::program::DisplayName);
    const QString otherSide =
        chat::core::roleCaption(ownRole == chat::core::Role::PC1 ? chat::core::Role::PC2 : chat::core::Role::PC1);
    return {Mark::Failed, heard + u"。相手の %1 はこのポートで受け取っていません。"_s.arg(program),
            u"相手に %1 で「%2」を選んで接続してもらってください（同じ側どうしでは届きません）。"_s.arg(program,
                                                                                                        otherSide)};
}

} // namespace check
