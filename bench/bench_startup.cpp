// Start-up time and idle memory as a user meets them: programs are started in turn, interleaved
// run by run, on an X display where a window manager runs. The clock stops when the program's
// main window (found by its title) is viewable, that is mapped inside a mapped frame, as
// `xdotool search --onlyvisible` would find it. After a settling pause the program's resident
// and proportional memory are read from /proc/<pid>/smaps_rollup, then it is ended.
//
// Usage: bench_startup <runs> <settle seconds> NAME TITLE PROGRAM [ARGUMENTS...] [:: NAME TITLE PROGRAM ...]
// A TITLE of "-" means the program shows no window: only its memory is measured.
// DISPLAY must be set. One warm-up round comes before the measured ones.
#include "benchstats.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Program
{
    std::string name;
    std::string title;       // empty: no window
    std::vector<char*> argv; // null-terminated
    std::vector<double> startMs, rssKiB, pssKiB;
};

struct Display
{
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t netWmName = 0;
    xcb_atom_t utf8 = 0;
};

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

std::string windowTitle(const Display& display, xcb_window_t window)
{
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        display.connection, xcb_get_property(display.connection, 0, window, display.netWmName, display.utf8, 0, 1024),
        nullptr);
    if (!reply)
        return {};
    std::string title(static_cast<const char*>(xcb_get_property_value(reply)),
                      std::size_t(xcb_get_property_value_length(reply)));
    std::free(reply);
    return title;
}

bool viewable(const Display& display, xcb_window_t window)
{
    xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
        display.connection, xcb_get_window_attributes(display.connection, window), nullptr);
    const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return result;
}

/// Waits until a window titled @p title is viewable; false on time-out or when the child ends.
/// Every new top-level window is watched for its own MapNotify, since a window manager reparents
/// it into a frame before mapping it; the frame's MapNotify arrives on the root.
bool waitForWindow(const Display& display, const std::string& title, pid_t child, Clock::time_point deadline)
{
    std::set<xcb_window_t> mapped;
    const auto anyViewable = [&] {
        for (xcb_window_t window : mapped)
            if (viewable(display, window) && windowTitle(display, window) == title)
                return true;
        return false;
    };
    while (Clock::now() < deadline) {
        xcb_generic_event_t* event = xcb_poll_for_event(display.connection);
        if (!event) {
            if (xcb_connection_has_error(display.connection) || waitpid(child, nullptr, WNOHANG) == child)
                return false;
            usleep(100);
            continue;
        }
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            const xcb_window_t window = reinterpret_cast<xcb_create_notify_event_t*>(event)->window;
            const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(display.connection, window, XCB_CW_EVENT_MASK, &mask);
            // It may have been mapped before the selection took effect.
            if (viewable(display, window))
                mapped.insert(window);
        } else if (type == XCB_MAP_NOTIFY) {
            mapped.insert(reinterpret_cast<xcb_map_notify_event_t*>(event)->window);
        }
        std::free(event);
        if ((type == XCB_CREATE_NOTIFY || type == XCB_MAP_NOTIFY) && anyViewable())
            return true;
    }
    return false;
}

/// One figure of /proc/<pid>/smaps_rollup in KiB, or a negative value.
double rollup(pid_t pid, const std::string& field)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    double value = 0;
    while (file >> key) {
        if (key == field + ":" && file >> value)
            return value;
        file.ignore(4096, '\n');
    }
    return -1;
}

bool runOnce(const Display& display, Program& program, int settleSeconds, bool record)
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(display.connection))
        std::free(event);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        // The programs' own messages would only interleave with the table.
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(program.argv[0], program.argv.data());
        _exit(127);
    }
    bool ok = true;
    double ms = 0;
    if (!program.title.empty()) {
        ok = waitForWindow(display, program.title, child, start + std::chrono::seconds(30));
        ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    if (ok)
        std::this_thread::sleep_for(std::chrono::seconds(settleSeconds));
    const double rss = rollup(child, "Rss");
    const double pss = rollup(child, "Pss");
    ok = ok && rss > 0 && waitpid(child, nullptr, WNOHANG) == 0;
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    if (ok && record) {
        program.startMs.push_back(ms);
        program.rssKiB.push_back(rss);
        program.pssKiB.push_back(pss);
    }
    return ok;
}

double median(const std::vector<double>& samples)
{
    return bench::summarize(samples).median;
}

std::string figure(const std::vector<double>& samples, double scale, const char* unit)
{
    if (samples.empty())
        return "-";
    char text[96];
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    std::snprintf(text, sizeof text, "%.1f %s (%.1f-%.1f)", median(samples) / scale, unit, *low / scale, *high / scale);
    return text;
}

std::vector<Program> parsePrograms(int argc, char** argv)
{
    std::vector<Program> programs;
    for (int i = 3; i < argc;) {
        int end = i;
        while (end < argc && std::strcmp(argv[end], "::") != 0)
            ++end;
        if (end - i < 3)
            return {};
        Program program;
        program.name = argv[i];
        program.title = std::strcmp(argv[i + 1], "-") == 0 ? std::string() : std::string(argv[i + 1]);
        program.argv.assign(argv + i + 2, argv + end);
        program.argv.push_back(nullptr);
        programs.push_back(std::move(program));
        i = end + 1;
    }
    return programs;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<Program> programs = parsePrograms(argc, argv);
    if (argc < 6 || programs.empty()) {
        std::fprintf(stderr, "usage: bench_startup <runs> <settle seconds> NAME TITLE PROGRAM [ARGUMENTS...] "
                             "[:: NAME TITLE PROGRAM ...]\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const int settle = std::max(0, std::atoi(argv[2]));
    Display display;
    display.connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(display.connection)) {
        std::fprintf(stderr, "bench_startup: cannot open the display\n");
        return 77;
    }
    display.root = xcb_setup_roots_iterator(xcb_get_setup(display.connection)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(display.connection, display.root, XCB_CW_EVENT_MASK, &mask);
    display.netWmName = atom(display.connection, "_NET_WM_NAME");
    display.utf8 = atom(display.connection, "UTF8_STRING");
    xcb_flush(display.connection);

    // Round 0 warms the caches; the programs take turns so that a drift of the machine spreads
    // over all of them alike.
    for (int round = 0; round <= runs; ++round) {
        for (Program& program : programs) {
            if (!runOnce(display, program, settle, round > 0)) {
                std::fprintf(stderr, "bench_startup: %s showed no window \"%s\" or ended early\n", program.name.c_str(),
                             program.title.c_str());
                return 1;
            }
        }
    }
    xcb_disconnect(display.connection);

    std::printf("%-18s %-30s %-28s %-28s\n", "program", "start to visible window", "resident (Rss)",
                "proportional (Pss)");
    for (const Program& program : programs)
        std::printf("%-18s %-30s %-28s %-28s\n", program.name.c_str(),
                    program.title.empty() ? "-" : figure(program.startMs, 1, "ms").c_str(),
                    figure(program.rssKiB, 1024, "MiB").c_str(), figure(program.pssKiB, 1024, "MiB").c_str());
    std::printf(
        "(median, min-max over %d interleaved runs, memory %d s after the window, or after the start without one)\n",
        runs, settle);
    const Program& first = programs.front();
    for (std::size_t i = 1; i < programs.size(); ++i) {
        if (programs[i].title.empty() || first.title.empty())
            continue;
        std::printf("%s / %s: start-up %.2fx, resident %.2fx\n", first.name.c_str(), programs[i].name.c_str(),
                    median(first.startMs) / median(programs[i].startMs),
                    median(first.rssKiB) / median(programs[i].rssKiB));
    }
    return 0;
}
