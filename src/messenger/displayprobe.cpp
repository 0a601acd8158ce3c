#include "displayprobe.h"

#include <QGuiApplication>
#include <QScreen>

#include <chrono>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace messenger {

namespace {

constexpr auto ProbeTimeout = std::chrono::seconds(5);

[[noreturn]] void probeInChild(int argc, char** argv)
{
    // The child's complaints about a missing display would only confuse: the parent reports.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
        ::dup2(devNull, STDERR_FILENO);
        ::close(devNull);
    }
    QGuiApplication app(argc, argv);
    ::_exit(QGuiApplication::primaryScreen() ? 0 : 1);
}

} // namespace

bool displayAvailable(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;

    const pid_t child = ::fork();
    if (child < 0)
        return true; // cannot probe: trust the environment
    if (child == 0)
        probeInChild(argc, argv);

    const auto deadline = std::chrono::steady_clock::now() + ProbeTimeout;
    int status = 0;
    while (true) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            // A display that does not answer in time is as good as none.
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace messenger
