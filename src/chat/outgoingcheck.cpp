#include "outgoingcheck.h"

#include "common/cp932codec.h"
#include "common/mod1.h"

using namespace Qt::StringLiterals;

namespace chat {

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
            check.refusal = unrepresentableText(encoded.unrepresentable);
        else if (encoded.bytes.size() > MaxDatagramBytes)
            check.refusal = u"メッセージが長すぎます。"_s;
    }
    return check;
}

QString unrepresentableText(const QString& characters)
{
    QString listed;
    int count = 0;
    for (qsizetype i = 0; i < characters.size() && count < MaxListedCharacters; ++i, ++count) {
        char32_t ucs4 = characters.at(i).unicode();
        qsizetype length = 1;
        if (characters.at(i).isHighSurrogate() && i + 1 < characters.size() && characters.at(i + 1).isLowSurrogate()) {
            ucs4 = QChar::surrogateToUcs4(characters.at(i), characters.at(i + 1));
            length = 2;
        }
        // A lone surrogate keeps its own code unit here, so the user is told which one it was.
        if (length == 2 || !QChar::isSurrogate(ucs4)) {
            if (isVisible(ucs4)) {
                listed += characters.mid(i, length);
                i += length - 1;
                continue;
            }
        }
        listed += u" U+"_s + QString::number(quint32(ucs4), 16).toUpper().rightJustified(4, u'0') + u' ';
        i += length - 1;
    }
    return u"次の文字は送信できません："_s + listed.simplified();
}

} // namespace chat
