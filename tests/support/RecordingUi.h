#pragma once

#include "capture/RunnerUi.h"

#include <string>
#include <vector>

namespace qv::test {

// Keeps a log of what running a program asked of the user interface, in order.
struct RecordingUi : RunnerUi {
    std::vector<std::string> log;
    int paints = 0;
    int paintsWhileIdle = 0; // the wait must happen under the busy cursor
    bool busy = false;

    void showError(const std::string& message) override { log.push_back("error " + message); }
    void beginBusy() override {
        busy = true;
        log.push_back("busy");
    }
    void endBusy() override {
        busy = false;
        log.push_back("idle");
    }
    void processPaintEvents() override {
        ++paints;
        if (!busy) {
            ++paintsWhileIdle;
        }
    }
};

} // namespace qv::test
