#include "oserrortext.h"

#include <cerrno>

using namespace Qt::StringLiterals;

namespace history::core {

QString osErrorText(int errorNumber)
{
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        return u"アクセスが拒否されました。"_s;
    case ENOENT:
        return u"ファイルまたはフォルダが見つかりません。"_s;
    case ENOTDIR:
        return u"パスの途中にフォルダではないものがあります。"_s;
    case EISDIR:
        return u"ファイルではなくフォルダです。"_s;
    case ENOTEMPTY:
        return u"フォルダが空ではありません。"_s;
    case ENOSPC:
        return u"ディスクの空き領域が足りません。"_s;
    case EDQUOT:
        return u"ディスクの使用量の上限を超えました。"_s;
    case EROFS:
        return u"読み取り専用のドライブです。"_s;
    case EIO:
        return u"入出力エラーが発生しました。"_s;
    case ENAMETOOLONG:
        return u"パスが長すぎます。"_s;
    case ELOOP:
        return u"シンボリックリンクが循環しているか、多すぎます。"_s;
    case EMFILE:
    case ENFILE:
        return u"開いているファイルが多すぎます。"_s;
    case EFBIG:
    case EOVERFLOW:
        return u"ファイルが大きすぎます。"_s;
    case EEXIST:
        return u"同じ名前のファイルが既にあります。"_s;
    case EXDEV:
        return u"別のドライブへは移動できません。"_s;
    case ETXTBSY:
        return u"ファイルは実行中のプログラムが使用しています。"_s;
    case EBUSY:
        return u"ファイルまたはフォルダが使用中です。"_s;
    case ENOMEM:
        return u"メモリが足りません。"_s;
    case EINVAL:
        return u"このファイルまたはドライブでは、この操作はできません。"_s;
    case ENOTSUP:
        return u"このドライブでは、この操作はできません。"_s;
    case ESTALE:
        return u"ネットワーク上のファイルが無効になりました。もう一度開いてください。"_s;
    case EAGAIN:
    case EINTR:
        return u"ファイルを一時的に使用できません。しばらくしてからやり直してください。"_s;
    case ENXIO:
    case ENODEV:
        return u"デバイスが見つかりません。"_s;
    case EBADF:
        return u"ファイルを正しく開けませんでした。"_s;
    case EFAULT:
        return u"プログラムの内部エラーです。"_s;
    case ENOLCK:
        return u"ファイルをロックできません。"_s;
    case EMLINK:
        return u"リンクが多すぎます。"_s;
    case ETIMEDOUT:
        return u"応答がないため、時間切れになりました。"_s;
    case ENOLINK:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ECONNRESET:
    case ECONNABORTED:
    case ECONNREFUSED:
        return u"ネットワーク上のファイルに接続できません。"_s;
    default:
        // Without English: the system's own text would be the only non-Japanese in the box.
        return u"システムエラー（番号 %1）"_s.arg(errorNumber);
    }
}

} // namespace history::core
