#include "resolutiontext.h"

#include <netdb.h>

using namespace Qt::StringLiterals;

namespace widgets {

QString resolutionErrorText(const common::Status& status)
{
    const QString& name = status.detail();
    switch (status.code()) {
    case common::Status::Code::TimedOut:
        return u"コンピュータ名「%1」の名前解決が時間内に終わりませんでした。"_s.arg(name);
    case common::Status::Code::TooLarge:
        return u"名前解決の要求が多すぎます。しばらくしてからやり直してください。"_s;
    case common::Status::Code::SystemError:
        // A negative number is getaddrinfo's own code; a positive one an errno from starting the lookup.
        if (status.sysErrno() == EAI_AGAIN)
            return u"コンピュータ名「%1」を今は解決できません（名前サーバーが応答しません）。"_s.arg(name);
        if (status.sysErrno() < 0)
            return u"コンピュータ名「%1」の名前解決に失敗しました（%2）。"_s.arg(
                name, QString::fromLocal8Bit(gai_strerror(status.sysErrno())));
        return u"名前解決を開始できませんでした。"_s;
    default:
        if (name.isEmpty())
            return u"コンピュータ名が空です。"_s;
        return u"コンピュータ名「%1」が見つかりません。"_s.arg(name);
    }
}

} // namespace widgets
