#pragma once

#include <chrono>
#include <thread>

namespace qv::test {

// Polls a condition that another process or thread brings about; gives up after a generous
// bound (ten seconds), so only a real fault, never a slow machine, makes it false.
template <typename Condition> bool eventually(Condition condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

} // namespace qv::test
