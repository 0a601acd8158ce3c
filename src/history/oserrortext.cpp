#include "oserrortext.h"

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace history {

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
    case EMFILE:
    case ENFILE:
        return u"開いているファイルが多すぎます。"_s;
    case EFBIG:
        return u"ファイルが大きすぎます。"_s;
    case EEXIST:
        return u"同じ名前のファイルが既にあります。"_s;
    case ENOMEM:
        return u"メモリが足りません。"_s;
    default:
        return u"システムエラー %1（%2）"_s.arg(errorNumber).arg(QString::fromLocal8Bit(std::strerror(errorNumber)));
    }
}

} // namespace history
