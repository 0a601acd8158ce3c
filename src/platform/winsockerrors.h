#pragma once

namespace platform::winsock {

/// Failure codes as the Windows socket control reports them; the chat logic decides on these.
enum Error : int {
    NoError = 0,
    AccessDenied = 10013,       ///< WSAEACCES: no permission for the port
    Fault = 10014,              ///< WSAEFAULT: the remote host name could not be resolved
    InvalidArgument = 10022,    ///< WSAEINVAL: e.g. a text that has no code page 932 form
    MessageTooLong = 10040,     ///< WSAEMSGSIZE: the payload exceeds one datagram
    AddressInUse = 10048,       ///< WSAEADDRINUSE: another program uses the port
    NetworkUnreachable = 10051, ///< WSAENETUNREACH
    NoBufferSpace = 10055,      ///< WSAENOBUFS
    HostUnreachable = 10065,    ///< WSAEHOSTUNREACH
    WrongState = 40006,         ///< sckBadState: the operation does not fit the socket's state
};

} // namespace platform::winsock
