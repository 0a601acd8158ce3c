#pragma once

#include "check/checkrow.h"
#include "check/tcpprobe.h"

namespace check {

/// The row for the notification service on this PC, after a probe of loopback @p port;
/// @p servicePath is the program the remedy starts. An unusual failure is said in @p errorText's words.
Row localServiceRow(const ProbeOutcome& probe, quint16 port, const QString& servicePath, const ErrorText& errorText);

/// The row for the partner's notification service, after a probe of its addresses at @p port.
Row partnerServiceRow(const ProbeOutcome& probe, quint16 port, const ErrorText& errorText);

} // namespace check
