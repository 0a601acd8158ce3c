#pragma once

#include "messenger/service/presenter.h"

#include <QByteArray>
#include <QByteArrayView>

/**
 * The pipe between the service and the process that shows its pop-ups. The service writes one
 * frame per notification to the pop-up process's standard input; the pop-up process answers each
 * frame with one report byte on its standard output (Shown or NotShown) and reports each pop-up
 * that closes with one more (Closed). Both ends are the same program, but the binary on disk may
 * have been replaced by an update while the service runs, so each frame carries a magic and a
 * version and anything else ends the pipe.
 *
 * Frame: "TVKP", version (1 byte), payload length (4 bytes, big-endian), payload: the notification's
 * fields written by QDataStream in a fixed stream version: sender, address (as text), recipient and
 * text as QString, then the arrival as its kind (quint8: 0 none, 1 local time, 2 fixed offset),
 * milliseconds since the epoch (qint64) and offset from UTC in seconds (qint32).
 */
namespace messenger::service::popupchannel {

inline constexpr char Magic[4] = {'T', 'V', 'K', 'P'};
inline constexpr quint8 Version = 1;
inline constexpr int HeaderSize = 9; ///< magic, version, payload length
/// No valid notification comes near this (the service accepts at most 4096 bytes of text); a
/// larger length can only come from a broken or foreign writer and is refused before buffering it.
inline constexpr quint32 MaxPayload = 64 * 1024;

/// What the pop-up process writes back, one byte each.
enum class Report : char {
    Shown = 'S',    ///< the frame's pop-up is on the screen
    NotShown = 'N', ///< the frame's pop-up could not be shown (no screen)
    Closed = 'C',   ///< one of the pop-ups reported Shown has closed
};

/// The frame for @p notification.
QByteArray encodeNotification(const Notification& notification);

/// Reading a frame from the bytes received so far.
struct NotificationParse
{
    enum class Outcome {
        NeedMore, ///< a valid prefix; wait for more bytes
        Complete, ///< notification holds the frame, which took the first consumed bytes
        Broken,   ///< not a frame of this version: nothing after it can be trusted either
    };
    Outcome outcome = Outcome::NeedMore;
    Notification notification;
    qsizetype consumed = 0;
};

/// Parses the start of @p bytes as a notification frame.
NotificationParse parseNotification(QByteArrayView bytes);

} // namespace messenger::service::popupchannel
