#include "avahirow.h"

using namespace Qt::StringLiterals;

namespace check {

Row avahiRow(const QString& unavailableReason)
{
    if (unavailableReason.isEmpty())
        return {Mark::Passed, u"Avahi が動いています（コンピュータの一覧を使えます）。"_s, {}};
    return {
        Mark::Failed, u"Avahi を使えません：%1。コンピュータの一覧には何も出ません。"_s.arg(unavailableReason),
        u"端末で sudo systemctl enable --now avahi-daemon を実行してください（一覧を使わなくても、名前か IP アドレスを入れれば接続できます）。"_s};
}

} // namespace check
