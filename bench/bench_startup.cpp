// Start-up time: from starting a program to its main window being mapped on the X display.
// Watches the root window for MapNotify (no window manager runs on the benchmark's display, so
// top-level windows are children of the root), starts the program, and stops the clock when a
// window titled as expected is mapped; then ends the program and starts it again.
//
// Usage: bench_startup <runs> <window title> <program> [arguments...]   (DISPLAY must be set)
// Prints the median, minimum and maximum in milliseconds over the runs after one warm-up run.
#include "benchstats.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

std::string windowTitle(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t utf8)
{
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, name, utf8, 0, 1024), nullptr);
    if (!reply)
        return {};
    std::string title(static_cast<const char*>(xcb_get_property_value(reply)),
                      std::size_t(xcb_get_property_value_length(reply)));
    std::free(reply);
    return title;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

/// One run: milliseconds from fork to the window's MapNotify, or a negative value on failure.
double runOnce(xcb_connection_t* connection, char** program, const std::string& title, xcb_atom_t name, xcb_atom_t utf8)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(program[0], program);
        _exit(127);
    }
    double result = -1;
    const auto deadline = start + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        xcb_generic_event_t* event = xcb_poll_for_event(connection);
        if (!event) {
            if (xcb_connection_has_error(connection) || waitpid(child, nullptr, WNOHANG) == child)
                break;
            usleep(200);
            continue;
        }
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            const auto mapped = std::chrono::steady_clock::now();
            if (windowTitle(connection, map->window, name, utf8) == title) {
                result = std::chrono::duration<double, std::milli>(mapped - start).count();
                std::free(event);
                break;
            }
        }
        std::free(event);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    // Events of the ending program are of no interest.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
        std::free(event);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_startup <runs> <window title> <program> [arguments...]\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const std::string title = argv[2];
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "bench_startup: cannot open the display\n");
        return 77;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    const xcb_atom_t name = atom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8 = atom(connection, "UTF8_STRING");

    std::vector<double> samples;
    for (int run = 0; run <= runs; ++run) {
        const double ms = runOnce(connection, argv + 3, title, name, utf8);
        if (ms < 0) {
            std::fprintf(stderr, "bench_startup: no window \"%s\" from %s\n", title.c_str(), argv[3]);
            return 1;
        }
        if (run > 0) // the first run warms the caches
            samples.push_back(ms);
    }
    const bench::Summary summary = bench::summarize(samples);
    const double minimum = *std::min_element(samples.begin(), samples.end());
    std::printf("%s: start to window mapped over %d runs: median %.1f ms, min %.1f ms, max %.1f ms\n", argv[3], runs,
                summary.median, minimum, summary.max);
    xcb_disconnect(connection);
    return 0;
}
