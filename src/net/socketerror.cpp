#include "socketerror.h"

#include "winsockerrors.h"

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace net::detail {

namespace {

struct Mapping
{
    int code;
    QString reason;
    bool withSystemText;
};

Mapping mapping(int error)
{
    using namespace winsock;
    switch (error) {
    case 0:
        return {NoError, {}, false};
    case EADDRINUSE:
        return {AddressInUse, u"他のプログラムがこのポートを使用しています。"_s, false};
    case EACCES:
    case EPERM:
        return {AccessDenied, u"このポートを使う権限がありません。"_s, false};
    case EADDRNOTAVAIL:
        return {AddressNotAvailable, u"このアドレスは使えません。"_s, true};
    case EAFNOSUPPORT:
        return {FamilyNotSupported, u"このアドレスの種類（IPv4/IPv6）はこのコンピュータでは使えません。"_s, true};
    case EMSGSIZE:
        return {MessageTooLong, u"メッセージが長すぎて1つのデータグラムに収まりません。"_s, true};
    case ENETDOWN:
        return {NetworkDown, u"ネットワークが停止しています。"_s, true};
    case ENETUNREACH:
        return {NetworkUnreachable, u"相手のネットワークに到達できません。"_s, true};
    case EHOSTUNREACH:
        return {HostUnreachable, u"相手のコンピュータに到達できません。"_s, true};
    case EHOSTDOWN:
        return {HostDown, u"相手のコンピュータが停止しています。"_s, true};
    case ECONNREFUSED:
        return {ConnectionRefused, u"相手のコンピュータが受信を拒否しました。"_s, true};
    case ENOBUFS:
    case ENOMEM:
        return {NoBufferSpace, u"バッファが足りないため処理できませんでした。"_s, true};
    case EMFILE:
    case ENFILE:
        return {TooManySockets, u"開いているソケットが多すぎます。"_s, true};
    case EAGAIN:
        return {WouldBlock, u"送信バッファが一杯です。しばらくしてからやり直してください。"_s, true};
    case EINVAL:
        return {InvalidArgument, u"ソケットの操作に無効な引数が渡されました。"_s, true};
    case EBADF:
    case ENOTSOCK:
        return {NotASocket, u"ソケットが開いていません。"_s, true};
    default:
        return {SystemCallFailure, u"ソケットの操作に失敗しました。"_s, true};
    }
}

} // namespace

SocketResult socketResultFromErrno(int error)
{
    Mapping m = mapping(error);
    if (m.withSystemText) {
        // The reason ends with the system's own wording, so that an unusual failure can be looked up.
        m.reason.chop(1);
        m.reason += u"（"_s + QString::fromLocal8Bit(std::strerror(error)) + u"）。"_s;
    }
    return {m.code, m.reason};
}

} // namespace net::detail
