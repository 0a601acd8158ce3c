#pragma once

#include "common/datetimetext.h"
#include "common/logline.h"

#include <QDateTime>
#include <QList>
#include <QRandomGenerator>
#include <QStringList>

#include <sys/resource.h>

namespace bench {

/**
 * @p count log lines of a realistic conversation from @p when on (which moves on by 1 to 39 s a
 * line): host names, Japanese and ASCII phrases, half of them received with the "相手>" prefix,
 * date-time texts as the chat makes them.
 */
inline QList<common::LogLine> conversation(qsizetype count, QRandomGenerator& random, QDateTime& when)
{
    using namespace Qt::StringLiterals;
    static const QStringList hosts = {u"PC-SATO"_s, u"DESKTOP-7F3K2Q"_s, u"EIGYO-03"_s, u"KAIHATSU-PC12"_s};
    static const QStringList phrases = {
        u"おはようございます。"_s,
        u"了解しました"_s,
        u"会議は10時からです"_s,
        u"資料を送りました、確認してください"_s,
        u"OK"_s,
        u"thanks!"_s,
        u"15:30 meeting room B"_s,
        u"昼ご飯どうしますか？"_s,
        u"ファイルサーバーが落ちています"_s,
        u"See you tomorrow"_s,
        u"少し遅れます"_s,
        u"ver1.3 release OK"_s,
    };
    QList<common::LogLine> lines;
    lines.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const bool received = random.bounded(2) == 1;
        QString message = phrases.at(random.bounded(int(phrases.size())));
        if (random.bounded(3) == 0)
            message += u' ' + phrases.at(random.bounded(int(phrases.size())));
        const QString& me = hosts.at(0);
        const QString& partner = hosts.at(1 + random.bounded(3));
        when = when.addSecs(random.bounded(1, 40));
        const QString dateTime = common::dateTimeText(when);
        if (received)
            lines.append({partner, me, u"相手>"_s + message, dateTime});
        else
            lines.append({me, partner, message, dateTime});
    }
    return lines;
}

/// CPU time of this process, user and system, all threads: other work on the machine does not count in it.
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage = {};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace bench
