#include "resolutiontext.h"

#include <netdb.h>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace widgets {

QString resolutionErrorText(const common::Status& status)
{
    const QString& name = status.detail();
    const int cause = status.sysErrno();
    if (status.code() == common::Status::Code::TimedOut) {
        if (cause == EAGAIN)
            return u"名前解決の要求が多すぎます。しばらくしてからやり直してください。"_s;
        return u"コンピュータ名「%1」の名前解決が時間内に終わりませんでした。"_s.arg(name);
    }
    // Not found: a negative number is getaddrinfo's own code, a positive one an errno of the start.
    if (cause == EAI_AGAIN)
        return u"コンピュータ名「%1」を今は解決できません（名前サーバーが応答しません）。"_s.arg(name);
    if (cause < 0)
        return u"コンピュータ名「%1」の名前解決に失敗しました（%2）。"_s.arg(
            name, QString::fromLocal8Bit(gai_strerror(cause)));
    if (cause > 0)
        return u"名前解決を開始できませんでした。"_s;
    if (name.isEmpty())
        return u"コンピュータ名が空です。"_s;
    return u"コンピュータ名「%1」が見つかりません。"_s.arg(name);
}

} // namespace widgets
