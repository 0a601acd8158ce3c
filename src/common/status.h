#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace common {

/**
 * The outcome of an operation of the network and file layers: success, or a failure with its
 * kind, the system's error number when a system call failed, and the one thing it concerned (a
 * path, a host name, a port) for the message a window words. Core code returns a Status and
 * never words it; the Japanese text of every failure is made in one place (errorText()).
 */
class Status final
{
public:
    enum class Code : quint8 {
        Ok = 0,
        SystemError, ///< a system call on a file or folder failed; sysErrno() says why
        SocketError, ///< a system call on a socket failed; sysErrno() says why
        NotFound,    ///< a name that cannot be resolved, a file that is not there
        TimedOut,    ///< no answer within the time allowed
        TooLarge,    ///< over a limit: a datagram, a frame, a file, the memory budget
        Malformed,   ///< bytes that do not follow their format
        Unencodable, ///< text with no code page 932 form
        WrongState,  ///< the operation does not fit the object's state
        Unsupported, ///< a kind of operation or object this program does not do
        Cancelled,   ///< given up on request
    };

    Status() = default;
    static Status ok() { return {}; }
    static Status failure(Code code, QString detail = {}, int sysErrno = 0)
    {
        return Status(code, sysErrno, std::move(detail));
    }
    /// A failed system call on a file or folder: @p sysErrno is the errno it left.
    static Status fromErrno(int sysErrno, QString detail = {})
    {
        return Status(Code::SystemError, sysErrno, std::move(detail));
    }
    /// A failed system call on a socket: @p sysErrno is the errno it left.
    static Status fromSocketErrno(int sysErrno, QString detail = {})
    {
        return Status(Code::SocketError, sysErrno, std::move(detail));
    }

    bool isOk() const { return m_code == Code::Ok; }
    Code code() const { return m_code; }
    int sysErrno() const { return m_sysErrno; }
    const QString& detail() const { return m_detail; }

    bool operator==(const Status&) const = default;

private:
    Status(Code code, int sysErrno, QString detail)
        : m_code(code)
        , m_sysErrno(sysErrno)
        , m_detail(std::move(detail))
    {}

    Code m_code = Code::Ok;
    int m_sysErrno = 0;
    QString m_detail;
};

/// A value, or the Status that says why there is none.
template<typename T> class Result final
{
public:
    Result(T value)
        : m_value(std::move(value))
    {}
    Result(Status status)
        : m_status(std::move(status))
    {}

    bool isOk() const { return m_value.has_value(); }
    const Status& status() const { return m_status; }
    const T& value() const& { return *m_value; }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }

private:
    std::optional<T> m_value;
    Status m_status;
};

} // namespace common
