#include "localport.h"

#include <QFile>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace check {

namespace {

constexpr int CapNetBindService = 10;
// The kernel's default when net.ipv4.ip_unprivileged_port_start cannot be read.
constexpr int DefaultUnprivilegedPortStart = 1024;

QByteArray readSmallFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(64 * 1024) : QByteArray();
}

QString userName(uint uid)
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return u"uid %1"_s.arg(uid);
}

QString describeHolder(const PortHolder& holder)
{
    if (holder.pid != 0)
        return u"%1（PID %2）"_s.arg(holder.program, QString::number(holder.pid));
    if (holder.uid == ::getuid())
        return u"このユーザーのプログラム"_s;
    return u"ユーザー %1 のプログラム"_s.arg(userName(holder.uid));
}

} // namespace

bool hasEffectiveCapability(QByteArrayView status, int capability)
{
    for (const QByteArray& line : status.toByteArray().split('\n')) {
        if (!line.startsWith("CapEff:"))
            continue;
        bool ok = false;
        const quint64 set = line.mid(7).trimmed().toULongLong(&ok, 16);
        return ok && capability >= 0 && capability < 64 && (set >> capability & 1) != 0;
    }
    return false;
}

LocalPortFacts readLocalPortFacts(quint16 port, const QString& procRoot)
{
    LocalPortFacts facts;
    facts.port = port;
    bool startOk = false;
    int unprivilegedStart =
        readSmallFile(procRoot + u"/sys/net/ipv4/ip_unprivileged_port_start"_s).trimmed().toInt(&startOk);
    if (!startOk)
        unprivilegedStart = DefaultUnprivilegedPortStart;
    facts.permitted = port >= unprivilegedStart ||
                      hasEffectiveCapability(readSmallFile(procRoot + u"/self/status"_s), CapNetBindService);
    facts.holders = udpPortHolders(port, procRoot);
    return facts;
}

Row localPortRow(const LocalPortFacts& facts, qint64 ownPid, const QString& programPath)
{
    const QString port = u"ポート%1/UDP"_s.arg(facts.port);
    QStringList others;
    bool ownHold = false;
    if (facts.holders.isOk()) {
        for (const PortHolder& holder : facts.holders.value()) {
            if (holder.pid == ownPid)
                ownHold = true;
            else
                others.append(describeHolder(holder));
        }
    }
    if (!others.isEmpty()) {
        return {
            Mark::Failed, u"%1 は %2が使っています。"_s.arg(port, others.join(u"、"_s)),
            u"そのプログラムを終了してください（同じ側を選んだ Tavik Light がもう 1 つ動いていないか確かめてください）。"_s};
    }
    if (ownHold)
        return {Mark::Passed, u"%1 はこのウィンドウが接続中に使っています。"_s.arg(port), {}};
    if (!facts.permitted) {
        return {Mark::Failed, u"%1 を開く許可（cap_net_bind_service）がありません。"_s.arg(port),
                u"端末で sudo setcap cap_net_bind_service=+ep %1 を実行してください。"_s.arg(programPath)};
    }
    if (!facts.holders.isOk()) {
        return {Mark::NotJudged,
                u"%1 を開く許可はありますが、ほかのプログラムが使っているかどうかは読めません。"_s.arg(port),
                {}};
    }
    return {Mark::Passed, u"%1 を開けます（許可があり、ほかのプログラムは使っていません）。"_s.arg(port), {}};
}

} // namespace check
