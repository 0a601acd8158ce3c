#pragma once

namespace net::winsock {

/// Failure codes as the Windows socket control reports them; the chat logic decides on these.
enum Error : int {
    NoError = 0,
    AccessDenied = 10013,         ///< WSAEACCES: no permission for the port
    Fault = 10014,                ///< WSAEFAULT: the remote host name could not be resolved
    InvalidArgument = 10022,      ///< WSAEINVAL: e.g. a text that has no code page 932 form
    TooManySockets = 10024,       ///< WSAEMFILE: no socket descriptor left
    WouldBlock = 10035,           ///< WSAEWOULDBLOCK: the send buffer stayed full
    NotASocket = 10038,           ///< WSAENOTSOCK
    MessageTooLong = 10040,       ///< WSAEMSGSIZE: the payload exceeds one datagram
    ProtocolNotSupported = 10043, ///< WSAEPROTONOSUPPORT: the socket only does UDP
    FamilyNotSupported = 10047,   ///< WSAEAFNOSUPPORT: IPv4 or IPv6 is not available
    AddressInUse = 10048,         ///< WSAEADDRINUSE: another program uses the port
    AddressNotAvailable = 10049,  ///< WSAEADDRNOTAVAIL: e.g. no remote port set
    NetworkDown = 10050,          ///< WSAENETDOWN
    NetworkUnreachable = 10051,   ///< WSAENETUNREACH
    NoBufferSpace = 10055,        ///< WSAENOBUFS
    ConnectionRefused = 10061,    ///< WSAECONNREFUSED
    HostDown = 10064,             ///< WSAEHOSTDOWN
    HostUnreachable = 10065,      ///< WSAEHOSTUNREACH
    SystemCallFailure = 10107,    ///< WSASYSCALLFAILURE: any other failure of the system
    WrongState = 40006,           ///< sckBadState: the operation does not fit the socket's state
};

} // namespace net::winsock
