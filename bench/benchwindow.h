#pragma once

#include "common/logline.h"
#include "support/chatharness.h"
#include "widgets/windowflasher.h"

#include <functional>

namespace bench {

/**
 * The main window as the test harness makes it (boxes answered silently, the notification always
 * delivered: the benchmarks measure the chat, not the service), but with the program's real
 * window flasher and clock: on X a round trip to the server once per turn of the event loop, as
 * for a user.
 */
struct ConnectedWindow : testsupport::ChatHarness
{
    widgets::AlertWindowFlasher realFlasher;

    /**
     * Shows the window and connects to 127.0.0.1 as PC1 (@p pc2 false) or PC2; @p logLineAdded,
     * when given, takes each log line as the program's journal does. @return whether it is connected.
     */
    bool open(bool pc2, std::function<void(const common::LogLine&)> logLineAdded = {})
    {
        make([&](chat::ui::ChatServices& services) {
            services.flasher = &realFlasher;
            services.clock = common::systemClock();
            if (logLineAdded)
                services.logLineAdded = std::move(logLineAdded);
        });
        return showConnected(pc2);
    }
};

} // namespace bench
