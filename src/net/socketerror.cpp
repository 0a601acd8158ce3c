#include "socketerror.h"

#include "winsockerrors.h"

#include <cerrno>

namespace net {

namespace {

int codeOfErrno(int error)
{
    using namespace winsock;
    switch (error) {
    case 0:
        return NoError;
    case EADDRINUSE:
        return AddressInUse;
    case EACCES:
    case EPERM:
        return AccessDenied;
    case EADDRNOTAVAIL:
    case EDESTADDRREQ:
        return AddressNotAvailable;
    case EAFNOSUPPORT:
        return FamilyNotSupported;
    case EMSGSIZE:
        return MessageTooLong;
    case ENETDOWN:
        return NetworkDown;
    case ENETUNREACH:
        return NetworkUnreachable;
    case EHOSTUNREACH:
        return HostUnreachable;
    case EHOSTDOWN:
        return HostDown;
    case ECONNREFUSED:
        return ConnectionRefused;
    case ENOBUFS:
    case ENOMEM:
        return NoBufferSpace;
    case EMFILE:
    case ENFILE:
        return TooManySockets;
    case EAGAIN:
        return WouldBlock;
    case EINVAL:
        return InvalidArgument;
    case EBADF:
    case ENOTSOCK:
        return NotASocket;
    default:
        return SystemCallFailure;
    }
}

} // namespace

int winsockCode(const common::Status& status)
{
    using Code = common::Status::Code;
    switch (status.code()) {
    case Code::Ok:
        return winsock::NoError;
    case Code::NotFound:
    case Code::TimedOut:
        return winsock::Fault;
    case Code::Unencodable:
        return winsock::InvalidArgument;
    case Code::TooLarge:
        return winsock::MessageTooLong;
    case Code::WrongState:
        return winsock::WrongState;
    case Code::Unsupported:
        return winsock::ProtocolNotSupported;
    case Code::SystemError:
    case Code::SocketError:
        return codeOfErrno(status.sysErrno());
    case Code::Malformed:
    case Code::Cancelled:
        break;
    }
    return winsock::SystemCallFailure;
}

} // namespace net
