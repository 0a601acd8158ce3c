#include "servicerows.h"

#include "common/programinfo.h"

#include <cerrno>

using namespace Qt::StringLiterals;
using common::Status;

namespace check {

namespace {

QString portText(quint16 port)
{
    return u"ポート%1/TCP"_s.arg(port);
}

bool refused(const Status& status)
{
    return status.code() == Status::Code::SocketError && status.sysErrno() == ECONNREFUSED;
}

} // namespace

Row localServiceRow(const ProbeOutcome& probe, quint16 port, const QString& servicePath, const ErrorText& errorText)
{
    const QString service = QString::fromUtf16(common::program::ServiceProgram);
    const QString start =
        u"ログインし直すか、端末で %1 & と入力して起動してください（起動しないと、相手が接続したことが表示されません）。"_s
            .arg(servicePath);
    if (probe.status.isOk())
        return {Mark::Passed, u"%1 が%2 で待ち受けています。"_s.arg(service, portText(port)), {}};
    if (refused(probe.status))
        return {Mark::Failed, u"%1 が動いていません（%2 で待ち受けていません）。"_s.arg(service, portText(port)),
                start};
    if (probe.status.code() == Status::Code::TimedOut) {
        return {Mark::Failed, u"%1 が時間内に応答しません（%2 ms）。"_s.arg(portText(port)).arg(probe.elapsedMs),
                u"%1 を終了してから、もう一度起動してください。"_s.arg(service)};
    }
    return {Mark::Failed, u"%1 に接続できません：%2"_s.arg(portText(port), errorText(probe.status)), start};
}

Row partnerServiceRow(const ProbeOutcome& probe, quint16 port, const ErrorText& errorText)
{
    const QString service = QString::fromUtf16(common::program::ServiceProgram);
    const QString partner = probe.address.toString();
    if (probe.status.isOk()) {
        return {Mark::Passed,
                u"相手（%1）の %2 が%3 で接続を受け付けました（%4 ms）。"_s.arg(partner, service, portText(port))
                    .arg(probe.elapsedMs),
                {}};
    }
    switch (probe.status.code()) {
    case Status::Code::NotFound:
        return {Mark::NotJudged, u"相手のアドレスが分からないため確かめていません。"_s, {}};
    case Status::Code::TimedOut:
        return {Mark::Failed,
                u"相手（%1）の %2 から時間内に応答がありません（%3 ms）。"_s.arg(partner, portText(port))
                    .arg(probe.elapsedMs),
                u"相手のPCが起動しているか、相手のファイアウォールが TCP %1 を通すかを確かめてください。"_s.arg(port)};
    default:
        break;
    }
    if (refused(probe.status)) {
        return {
            Mark::Failed,
            u"相手（%1）は応答しましたが、%2 で %3 は待ち受けていません。"_s.arg(partner, portText(port), service),
            u"相手のPCで %1 を起動してもらってください（ログインし直すと起動します）。通知が届かないだけで、メッセージは送れます。"_s
                .arg(service)};
    }
    return {Mark::Failed, u"相手（%1）に接続できません：%2"_s.arg(partner, errorText(probe.status)),
            u"相手のPCが同じ LAN にあって起動しているか、アドレスが正しいかを確かめてください。"_s};
}

} // namespace check
