#include "displayprobe.h"

#include <QGuiApplication>
#include <QScreen>

#include <chrono>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace messenger::popup {

namespace {

constexpr auto ProbeTimeout = std::chrono::seconds(5);

// The probe's exit status: which platform Qt chose (any other status, or a crash, means no display).
constexpr int ProbeOther = 0;
constexpr int ProbeX11 = 3;
constexpr int ProbeWayland = 4;

[[noreturn]] void probeInChild(int argc, char** argv)
{
    // The child's complaints about a missing display would only confuse: the parent reports.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
        ::dup2(devNull, STDERR_FILENO);
        ::close(devNull);
    }
    QGuiApplication app(argc, argv);
    if (!QGuiApplication::primaryScreen())
        ::_exit(1);
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb"))
        ::_exit(ProbeX11);
    // "wayland", "wayland-egl", …
    ::_exit(platform.startsWith(QLatin1String("wayland")) ? ProbeWayland : ProbeOther);
}

} // namespace

ProbedDisplay probeDisplay(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return ProbedDisplay::None;

    const pid_t child = ::fork();
    if (child < 0)
        return ProbedDisplay::Other; // cannot probe: trust the environment (nothing known to watch)
    if (child == 0)
        probeInChild(argc, argv);

    const auto deadline = std::chrono::steady_clock::now() + ProbeTimeout;
    int status = 0;
    while (true) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            if (!WIFEXITED(status))
                return ProbedDisplay::None;
            switch (WEXITSTATUS(status)) {
            case ProbeOther:
                return ProbedDisplay::Other;
            case ProbeX11:
                return ProbedDisplay::X11;
            case ProbeWayland:
                return ProbedDisplay::Wayland;
            default:
                return ProbedDisplay::None;
            }
        }
        if (done < 0)
            return ProbedDisplay::None;
        if (std::chrono::steady_clock::now() >= deadline) {
            // A display that does not answer in time is as good as none.
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return ProbedDisplay::None;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace messenger::popup
