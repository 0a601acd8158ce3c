#include "errortext.h"

#include "common/logline.h"
#include "net/datagramsocket.h"

#include <cerrno>

#include <netdb.h>

using namespace Qt::StringLiterals;

namespace widgets {

namespace {

/// One error number, worded for a socket and for a file; an empty wording falls back to the other.
struct Wording
{
    int error;
    const char16_t* socket;
    const char16_t* file;
};

// clang-format off
constexpr Wording Wordings[] = {
    {EADDRINUSE,    u"他のプログラムがこのポートを使用しています。", nullptr},
    {EACCES,        u"このポートを使う権限がありません。", u"アクセスが拒否されました。"},
    {EPERM,         u"このポートを使う権限がありません。", u"アクセスが拒否されました。"},
    {EADDRNOTAVAIL, u"このアドレスは使えません。", nullptr},
    {EDESTADDRREQ,  u"送信先のポートが指定されていません。", nullptr},
    {EAFNOSUPPORT,  u"このアドレスの種類（IPv4/IPv6）はこのコンピュータでは使えません。", nullptr},
    {EMSGSIZE,      u"メッセージが長すぎて1つのデータグラムに収まりません。", nullptr},
    {ENETDOWN,      u"ネットワークが停止しています。", u"ネットワーク上のファイルに接続できません。"},
    {ENETUNREACH,   u"相手のネットワークに到達できません。", u"ネットワーク上のファイルに接続できません。"},
    {EHOSTUNREACH,  u"相手のコンピュータに到達できません。", u"ネットワーク上のファイルに接続できません。"},
    {EHOSTDOWN,     u"相手のコンピュータが停止しています。", u"ネットワーク上のファイルに接続できません。"},
    {ECONNREFUSED,  u"相手のコンピュータが受信を拒否しました。", u"ネットワーク上のファイルに接続できません。"},
    {ECONNRESET,    nullptr, u"ネットワーク上のファイルに接続できません。"},
    {ECONNABORTED,  nullptr, u"ネットワーク上のファイルに接続できません。"},
    {ENOLINK,       nullptr, u"ネットワーク上のファイルに接続できません。"},
    {ENOBUFS,       u"バッファが足りないため処理できませんでした。", nullptr},
    {ENOMEM,        u"バッファが足りないため処理できませんでした。", u"メモリが足りません。"},
    {EMFILE,        u"開いているソケットが多すぎます。", u"開いているファイルが多すぎます。"},
    {ENFILE,        u"開いているソケットが多すぎます。", u"開いているファイルが多すぎます。"},
    {EAGAIN,        u"送信バッファが一杯です。しばらくしてからやり直してください。",
                    u"ファイルを一時的に使用できません。しばらくしてからやり直してください。"},
    {EINTR,         nullptr, u"ファイルを一時的に使用できません。しばらくしてからやり直してください。"},
    {EINVAL,        u"ソケットの操作に無効な引数が渡されました。", u"このファイルまたはドライブでは、この操作はできません。"},
    {EBADF,         u"ソケットが開いていません。", u"ファイルを正しく開けませんでした。"},
    {ENOTSOCK,      u"ソケットが開いていません。", nullptr},
    {ENOENT,        nullptr, u"ファイルまたはフォルダが見つかりません。"},
    {ENOTDIR,       nullptr, u"パスの途中にフォルダではないものがあります。"},
    {EISDIR,        nullptr, u"ファイルではなくフォルダです。"},
    {ENOTEMPTY,     nullptr, u"フォルダが空ではありません。"},
    {ENOSPC,        nullptr, u"ディスクの空き領域が足りません。"},
    {EDQUOT,        nullptr, u"ディスクの使用量の上限を超えました。"},
    {EROFS,         nullptr, u"読み取り専用のドライブです。"},
    {EIO,           nullptr, u"入出力エラーが発生しました。"},
    {ENAMETOOLONG,  nullptr, u"パスが長すぎます。"},
    {ELOOP,         nullptr, u"シンボリックリンクが循環しているか、多すぎます。"},
    {EFBIG,         nullptr, u"ファイルが大きすぎます。"},
    {EOVERFLOW,     nullptr, u"ファイルが大きすぎます。"},
    {EEXIST,        nullptr, u"同じ名前のファイルが既にあります。"},
    {EXDEV,         nullptr, u"別のドライブへは移動できません。"},
    {ETXTBSY,       nullptr, u"ファイルは実行中のプログラムが使用しています。"},
    {EBUSY,         nullptr, u"ファイルまたはフォルダが使用中です。"},
    {ENOTSUP,       nullptr, u"このドライブでは、この操作はできません。"},
    {ESTALE,        nullptr, u"ネットワーク上のファイルが無効になりました。もう一度開いてください。"},
    {ENXIO,         nullptr, u"デバイスが見つかりません。"},
    {ENODEV,        nullptr, u"デバイスが見つかりません。"},
    {EFAULT,        nullptr, u"プログラムの内部エラーです。"},
    {ENOLCK,        nullptr, u"ファイルをロックできません。"},
    {EMLINK,        nullptr, u"リンクが多すぎます。"},
    {ETIMEDOUT,     nullptr, u"応答がないため、時間切れになりました。"},
};
// clang-format on

QString systemErrorText(int error, bool socket)
{
    for (const Wording& wording : Wordings) {
        if (wording.error != error)
            continue;
        const char16_t* first = socket ? wording.socket : wording.file;
        const char16_t* second = socket ? wording.file : wording.socket;
        return QString::fromUtf16(first ? first : second);
    }
    return socket ? u"ソケットの操作に失敗しました（システムエラー 番号 %1）。"_s.arg(error)
                  : u"システムエラー（番号 %1）"_s.arg(error);
}

// Over a limit: a file over the largest log file (EFBIG), a load over its memory budget (ENOMEM),
// or a datagram over its size (the detail is its byte count).
QString tooLargeText(const common::Status& status)
{
    switch (status.sysErrno()) {
    case EFBIG:
        return u"ファイルが大きすぎます（%1 GB まで読み込めます）。"_s.arg(common::MaxLogFileBytes >> 30);
    case ENOMEM:
        return u"メモリが足りないため、このファイルを読み込めません。記録が多すぎるか、ログファイルではないファイルです。"_s;
    default:
        return u"メッセージが長すぎます（%1バイト、1回で送れるのは%2バイトまで）。"_s.arg(status.detail())
            .arg(net::MaxDatagramBytes);
    }
}

/// A computer name that could not be resolved (net::HostResolver: NotFound or TimedOut, the name as
/// detail, the cause in sysErrno).
QString resolutionText(const common::Status& status)
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

} // namespace

QString errorText(const common::Status& status)
{
    using Code = common::Status::Code;
    switch (status.code()) {
    case Code::Ok:
        return {};
    case Code::SystemError:
        return systemErrorText(status.sysErrno(), false);
    case Code::SocketError:
        return systemErrorText(status.sysErrno(), true);
    case Code::NotFound:
    case Code::TimedOut:
        // The resolver's failures, worded with their cause (the check's probes word their own).
        return resolutionText(status);
    case Code::TooLarge:
        return tooLargeText(status);
    case Code::Malformed:
        return u"データの形式が正しくありません。"_s;
    case Code::Unencodable:
        return u"次の文字はShift_JISで表せないため送信できません：%1"_s.arg(status.detail());
    case Code::WrongState:
        return u"ソケットの状態がこの操作に合いません。"_s;
    case Code::Unsupported:
        return u"このソケットはUDPにしか対応していません。"_s;
    case Code::Cancelled:
        return u"中止されました。"_s;
    }
    return {};
}

} // namespace widgets
