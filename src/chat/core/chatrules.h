#pragma once

#include "common/programinfo.h"

#include <QString>
#include <QStringView>

namespace chat::core {

/// The role the user picks with the two role options; it decides the ports.
enum class Role { PC1, PC2 };

/// The caption of the role's option: 「PC1側」 or 「PC2側」.
QString roleCaption(Role role);

/// The two ports of a role: where every datagram goes, and where this PC listens.
struct Ports
{
    quint16 remote = 0; ///< the partner's port, destination of every datagram this PC sends
    quint16 local = 0;  ///< this PC's own port, bound and received on
};

/// The port rule: PC1 sends to 1001 and listens on 1002, PC2 the reverse, so only PC1 and PC2 hear each other.
constexpr Ports portsFor(Role role)
{
    return role == Role::PC1 ? Ports{1001, 1002} : Ports{1002, 1001};
}

/// The main window's title: a fixed text (two blanks before "ver"), whatever version the program carries.
inline constexpr char16_t MainWindowTitle[] = u"Tavik Light  ver1.3";

/// The application title, carried by every message box that names no title of its own.
using common::program::ApplicationTitle;

/// Label1 while not connected; the blank after the full-width colon is an ordinary space.
inline constexpr char16_t NotConnectedLabel[] = u"接続先PC名： 状態：未バインド";

/// Label1 while connected to @p partner; the state begins with an ideographic space.
QString connectedLabel(const QString& partner);

/// The text the partner's notification service shows: the fixed sentence and the role the partner must choose.
QString notificationText(Role ownRole);

/// The notice sent to the partner when disconnecting; it has a code page 932 form.
inline constexpr char16_t DisconnectNotice[] = u"連絡事項：切断されました";

/// The message shown when the own port cannot be bound: names the port, then on a new line @p reason.
QString bindFailureText(quint16 port, const QString& reason);

/// The message shown when a send fails for any reason but an unknown partner name.
QString sendFailureText(const QString& reason);

/// The message shown when the disconnect notice could not be sent.
QString noticeFailureText(const QString& reason);

} // namespace chat::core
