#include "checkrow.h"

#include "common/visibletext.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace check {

QString itemTitle(Item item)
{
    switch (item) {
    case Item::ThisPc:
        return u"このPC"_s;
    case Item::LocalPort:
        return u"受信ポート"_s;
    case Item::LocalService:
        return u"通知サービス（このPC）"_s;
    case Item::Avahi:
        return u"Avahi"_s;
    case Item::NameResolution:
        return u"名前解決"_s;
    case Item::PartnerService:
        return u"通知サービス（相手）"_s;
    case Item::PortUnreachable:
        return u"ポート到達不能"_s;
    case Item::Firewall:
        return u"ファイアウォール"_s;
    }
    return {};
}

QString markText(Mark mark)
{
    switch (mark) {
    case Mark::Pending:
        return u"…"_s;
    case Mark::Passed:
        return u"○"_s;
    case Mark::Failed:
        return u"×"_s;
    case Mark::NotJudged:
        return u"－"_s;
    }
    return {};
}

QString reportLine(Item item, const Row& row)
{
    QString line = markText(row.mark) + u' ' + itemTitle(item) + u"："_s + row.finding;
    if (!row.remedy.isEmpty())
        line += u" → "_s + row.remedy;
    return line;
}

QString addressList(const QList<QHostAddress>& addresses)
{
    QStringList texts;
    for (const QHostAddress& address : addresses)
        texts.append(address.toString());
    return texts.join(u"、"_s);
}

QString shownText(const QString& text)
{
    const QString visible = common::visibleText(text);
    return visible.size() <= MaxShownCharacters ? visible : visible.left(MaxShownCharacters - 1) + u'…';
}

bool allPassed(const QList<Row>& rows)
{
    return std::all_of(rows.cbegin(), rows.cend(),
                       [](const Row& row) { return row.mark == Mark::Passed || row.mark == Mark::NotJudged; });
}

} // namespace check
