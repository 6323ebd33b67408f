// Running a blocking call on a thread of its own while the caller keeps its windows painted.

#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <type_traits>
#include <utility>

namespace qv {

inline constexpr std::chrono::milliseconds kWaitingCallSlice{25};

// Runs call on a thread of its own and waits for it, calling betweenWaits before each short
// sleep so the caller can repaint; the sleep ends as soon as the call is done. Returns what the
// call returns and rethrows what it throws. The call must not touch what the caller's
// betweenWaits touches. Should betweenWaits throw, the call is still waited for before the
// error goes on, so nothing it uses disappears under it.
template <class Call>
std::invoke_result_t<Call> callWhileWaiting(Call&& call,
                                            const std::function<void()>& betweenWaits) {
    auto result = std::async(std::launch::async, std::forward<Call>(call));
    do {
        betweenWaits();
    } while (result.wait_for(kWaitingCallSlice) != std::future_status::ready);
    return result.get();
}

} // namespace qv
