#include "Library.h"

#include <algorithm>
#include <chrono>

namespace qv::scanman {
namespace {

// Closing a device takes about 100 ms; one that has not closed by then never will.
constexpr auto stopTimeout = std::chrono::seconds(5);

std::string idOf(FpDevice* device) {
    return std::string(fp_device_get_driver(device)) + ":" + fp_device_get_device_id(device);
}

} // namespace

Library::Library()
    : context_(fp_context_new()) {
    // Enumeration iterates the process's default main context until every device is set up,
    // so it runs here, on the caller's thread, and not on the library's thread.
    GPtrArray* devices = fp_context_get_devices(context_.get());
    for (guint i = 0; i < devices->len; ++i) {
        auto* device = FP_DEVICE(g_ptr_array_index(devices, i));
        if (!fp_device_has_feature(device, FP_DEVICE_FEATURE_CAPTURE)) {
            continue;
        }
        std::string id = idOf(device);
        if (find(id.c_str())) {
            id += "#" + std::to_string(scanners_.size());
        }
        const std::size_t index = scanners_.size();
        scanners_.push_back(std::make_unique<Scanner>(
            ObjectPtr<FpDevice>(FP_DEVICE(g_object_ref(device))), std::move(id),
            ScannerEvents{[this, index] { stopped(index); }, [this, index] { lost(index); }}));
    }
    active_.assign(scanners_.size(), false);
}

Library::~Library() {
    stop(std::nullopt);
    // The devices keep sources attached to the thread's context: they go first, on the thread.
    thread_.call([this] {
        scanners_.clear();
        context_.reset();
    });
}

std::optional<std::size_t> Library::find(const char* id) const {
    for (std::size_t i = 0; i < scanners_.size(); ++i) {
        if (scanners_[i]->id() == id) {
            return i;
        }
    }
    return std::nullopt;
}

void Library::setMonitor(SMMonitorProc monitor, intptr_t userValue) {
    thread_.call([&] {
        monitor_ = monitor;
        monitorValue_ = userValue;
    });
}

bool Library::capturing(std::size_t index) const {
    const std::lock_guard lock(activeMutex_);
    return active_[index];
}

void Library::start(std::size_t index, const CaptureProcedures& procedures) {
    {
        const std::lock_guard lock(activeMutex_);
        active_[index] = true;
    }
    // Opening takes a while; the caller does not wait for it.
    thread_.post([this, index, procedures] { scanners_[index]->start(procedures); });
}

void Library::stop(std::optional<std::size_t> index) {
    thread_.call([&] {
        for (std::size_t i = 0; i < scanners_.size(); ++i) {
            if (!index || *index == i) {
                scanners_[i]->stop();
            }
        }
    });
    std::unique_lock lock(activeMutex_);
    activeChanged_.wait_for(lock, stopTimeout, [&] {
        return index ? !active_[*index]
                     : std::none_of(active_.begin(), active_.end(),
                                    [](bool active) { return active; });
    });
}

void Library::stopped(std::size_t index) {
    {
        const std::lock_guard lock(activeMutex_);
        active_[index] = false;
    }
    activeChanged_.notify_all();
}

void Library::lost(std::size_t index) {
    if (monitor_) {
        monitor_(SM_MONITOR_SCANNER_LOST, static_cast<int32_t>(index), monitorValue_);
    }
}

} // namespace qv::scanman
