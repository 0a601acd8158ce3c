#include "computerbrowsertext.h"

#include "net/computerbrowsermodel.h"

namespace widgets {

namespace {

using Problem = net::ComputerBrowserModel::Problem;

/// The cause of @p problem and what the user can do about it.
QString problemText(Problem problem)
{
    switch (problem) {
    case Problem::NoSystemBus:
        return QStringLiteral("システムの D-Bus に接続できません。D-Bus が動いているか確かめて下さい"
                              "（端末で systemctl status dbus）。");
    case Problem::BusNotAnswering:
        return QStringLiteral("システムの D-Bus が応答しません。しばらくしてから「再検索」を押して下さい。");
    case Problem::NoDaemon:
        return QStringLiteral("Avahi デーモンが動いていません。端末で sudo systemctl enable --now avahi-daemon "
                              "と入力すると起動します（入っていなければ sudo apt install avahi-daemon）。");
    case Problem::DaemonStopped:
        return QStringLiteral("Avahi デーモンが停止しました。端末で sudo systemctl enable --now avahi-daemon "
                              "と入力して起動すると、自動で探し直します。");
    case Problem::NoSignals:
        return QStringLiteral(
            "システムの D-Bus が Avahi からの知らせを届けません。この画面を閉じて、開き直して下さい。");
    case Problem::DaemonTimedOut:
        return QStringLiteral("Avahi デーモンが時間内に応答しませんでした。「再検索」を押して下さい。");
    case Problem::DaemonFailed:
        return QStringLiteral("Avahi デーモンがエラーを返しました。端末で sudo systemctl restart avahi-daemon "
                              "と入力して再起動してから、「再検索」を押して下さい。");
    }
    return {};
}

} // namespace

QString browserStatusText(const net::ComputerBrowserModel& model)
{
    using Status = net::ComputerBrowserModel::Status;
    switch (model.status()) {
    case Status::Idle:
        return {};
    case Status::Searching:
        return QStringLiteral("コンピュータを探しています…");
    case Status::Finished:
        return model.rowCount() == 0 ? QStringLiteral("コンピュータが見つかりませんでした。")
                                     : QStringLiteral("%1 台のコンピュータが見つかりました。").arg(model.rowCount());
    case Status::Unavailable:
        return QStringLiteral("このネットワークのコンピュータを探せません。") + problemText(model.problem()) +
               QStringLiteral("\n「キャンセル」を押して、接続先PC名を直接入力することもできます。");
    case Status::Failed:
        return QStringLiteral("コンピュータを探せませんでした。") + problemText(model.problem());
    }
    return {};
}

} // namespace widgets
