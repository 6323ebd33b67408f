// What the scanner library reported through its procedures, gathered for the tests that
// drive libScanMan.so.

#pragma once

#include "libs/scanman/include/ScanManApi.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace qv::test {

// Filled from the library's thread by the procedures below while installed as `current`.
struct LibraryReports {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0, resolution = 0, images = 0;
    int32_t callBack = 0; // what the library answered a procedure that called it
    std::thread::id thread;
    std::vector<int32_t> notifications;
    std::vector<std::pair<int32_t, int32_t>> monitorEvents; // event, scanner index

    LibraryReports() { current = this; }
    ~LibraryReports() { current = nullptr; }
    LibraryReports(const LibraryReports&) = delete;
    LibraryReports& operator=(const LibraryReports&) = delete;

    template <typename Predicate>
    bool waitFor(Predicate predicate, std::chrono::seconds limit = std::chrono::seconds(30)) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, predicate);
    }
    // A copy of one of the fields above, taken under the lock.
    template <typename Field> Field read(const Field& field) {
        const std::lock_guard lock(mutex);
        return field;
    }
    // Whether `event` was notified after the notification at `from`.
    bool notifiedSince(std::size_t from, int32_t event) const {
        for (std::size_t i = from; i < notifications.size(); ++i) {
            if (notifications[i] == event) {
                return true;
            }
        }
        return false;
    }

    static inline LibraryReports* current = nullptr;

    static void image(const char*, int32_t width, int32_t height, const unsigned char* pixels,
                      int32_t resolution, intptr_t) {
        {
            const std::lock_guard lock(current->mutex);
            current->pixels.assign(pixels, pixels + std::size_t(width) * std::size_t(height));
            current->width = width;
            current->height = height;
            current->resolution = resolution;
            current->thread = std::this_thread::get_id();
            current->callBack = SMStopCapturing(nullptr);
            ++current->images;
        }
        current->changed.notify_all();
    }

    static void notify(const char*, int32_t event, intptr_t) {
        {
            const std::lock_guard lock(current->mutex);
            current->notifications.push_back(event);
        }
        current->changed.notify_all();
    }

    static void monitor(int32_t event, int32_t index, intptr_t) {
        {
            const std::lock_guard lock(current->mutex);
            current->monitorEvents.emplace_back(event, index);
        }
        current->changed.notify_all();
    }
};

} // namespace qv::test
