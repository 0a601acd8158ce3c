#include "outgoingcheck.h"

#include "common/cp932codec.h"
#include "common/mod1.h"
#include "common/visibletext.h"
#include "net/datagramsocket.h"

#include <QList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace chat::core {

namespace {

constexpr int MaxListedCharacters = 10;

bool contains(const QString& text, QStringView key)
{
    // The caller has already refused texts too long for CharPos, so a failure cannot occur here;
    // treating one as "found" keeps such a text from being sent should that ever change.
    const std::optional<qint16> position = mod1::CharPos(text, key);
    return !position || *position != -1;
}

bool isVisible(char32_t ucs4)
{
    switch (QChar::category(ucs4)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Other_PrivateUse:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

// "次の文字は送信できません：" and the first ten of @p codePoints, invisible ones and lone
// surrogates written as U+XXXX. The encoder's list comes here as it is: made into a string
// again, a lone high surrogate and the lone low one after it would read as one character.
QString listedText(const QList<char32_t>& codePoints)
{
    QString listed;
    for (const char32_t ucs4 : codePoints.first(std::min<qsizetype>(codePoints.size(), MaxListedCharacters))) {
        if (isVisible(ucs4))
            listed += QString::fromUcs4(&ucs4, 1);
        else
            listed += u' ' + common::codePointName(ucs4) + u' ';
    }
    return u"次の文字は送信できません："_s + listed.simplified();
}

} // namespace

OutgoingCheck checkOutgoing(const QString& text)
{
    OutgoingCheck check;
    if (text.isEmpty()) {
        check.refusal = u"メッセージを入力してください"_s;
    } else if (text.size() > mod1::CharPosMaxLength) {
        check.refusal = u"メッセージが長すぎます。"_s;
    } else if (contains(text, u",")) {
        check.refusal = u"送信するメッセージに[,]は入れられません"_s;
    } else if (contains(text, u"\"")) {
        check.refusal = u"送信するメッセージに[\"]は入れられません"_s;
    } else {
        const common::cp932::EncodeResult encoded = common::cp932::encode(text);
        if (!encoded.ok)
            check.refusal = listedText(encoded.unrepresentable);
        else if (encoded.bytes.size() > net::MaxDatagramBytes)
            check.refusal = u"メッセージが長すぎます。"_s;
    }
    return check;
}

} // namespace chat::core
