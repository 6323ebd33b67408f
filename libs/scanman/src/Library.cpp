// The scanner library's state between SMInitialize and SMFinalize.

#include "Library.h"

#include <algorithm>
#include <chrono>
#include <libusb.h>

namespace qv::scanman {
namespace {

// Closing a device takes about 100 ms, ending a capture whose image libfprint is still
// processing far longer (a large print, seconds) and a stuck transfer up to the driver's own
// timeout. The callers are promised an answer within this time.
constexpr auto kStopTimeout = std::chrono::seconds(4);

// The USB port a reader is plugged into, as the kernel names it ("3-1.1.3"), or nothing for
// a device not on USB. libfprint's own device id only counts the devices as they are found.
std::optional<std::string> usbPortOf(FpDevice* device) {
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(device), "fpi-usb-device") == nullptr) {
        return std::nullopt;
    }
    GObject* usb = nullptr;
    g_object_get(device, "fpi-usb-device", &usb, nullptr);
    const ObjectPtr<GObject> usbOwner(usb);
    if (usb == nullptr ||
        g_object_class_find_property(G_OBJECT_GET_CLASS(usb), "libusb-device") == nullptr) {
        return std::nullopt;
    }
    gpointer raw = nullptr;
    g_object_get(usb, "libusb-device", &raw, nullptr);
    auto* usbDevice = static_cast<libusb_device*>(raw);
    uint8_t ports[8];
    const int depth = usbDevice == nullptr ? 0 : libusb_get_port_numbers(usbDevice, ports, 8);
    if (depth <= 0) {
        return std::nullopt;
    }
    std::string port = std::to_string(libusb_get_bus_number(usbDevice));
    for (int i = 0; i < depth; ++i) {
        port += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
    }
    return port;
}

// The same reader in the same port has the same id, from one run or plug to the next.
std::string idOf(FpDevice* device) {
    const std::optional<std::string> port = usbPortOf(device);
    return std::string(fp_device_get_driver(device)) + ":" +
           (port ? *port : fp_device_get_device_id(device));
}

} // namespace

Library::Library() {
    thread_.call([this] {
        context_.reset(fp_context_new());
        // Enumeration iterates the default main context until every device is set up: here,
        // on the thread that owns it.
        GPtrArray* devices = fp_context_get_devices(context_.get());
        for (guint i = 0; i < devices->len; ++i) {
            add(FP_DEVICE(g_ptr_array_index(devices, i)));
        }
        addedHandler_ = g_signal_connect(context_.get(), "device-added",
                                         G_CALLBACK(&Library::deviceAdded), this);
    });
}

Library::~Library() {
    {
        std::optional<StopWait> wait;
        stop(std::nullopt, wait);
        wait->closed();
    }
    {
        // Waits begun by SMStopCapturing end by their own deadlines.
        std::unique_lock lock(entriesMutex_);
        entriesChanged_.wait(lock, [this] { return waits_ == 0; });
    }
    // The devices keep sources attached to the thread's context: they go first, on the thread.
    thread_.call([this] {
        g_signal_handler_disconnect(context_.get(), addedHandler_);
        scanners_.clear();
        context_.reset();
    });
}

int32_t Library::scannerCount() const {
    const std::lock_guard lock(entriesMutex_);
    return static_cast<int32_t>(entries_.size());
}

std::string Library::scannerId(int32_t index) const {
    const std::lock_guard lock(entriesMutex_);
    return entries_.at(static_cast<std::size_t>(index)).id;
}

std::optional<std::size_t> Library::find(const char* id) const {
    const std::lock_guard lock(entriesMutex_);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].id == id) {
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

int32_t Library::start(std::size_t index, const CaptureProcedures& procedures) {
    int32_t result = 0;
    // Opening takes a while; the caller does not wait for it, only for the scanner's answer.
    thread_.call([&] { result = scanners_.at(index)->start(procedures); });
    return result;
}

int32_t Library::stop(std::optional<std::size_t> index, std::optional<StopWait>& wait) {
    int32_t result = 0;
    thread_.call([&] {
        if (index) {
            result = scanners_.at(*index)->stop();
            return;
        }
        for (const std::unique_ptr<Scanner>& scanner : scanners_) {
            scanner->stop();
        }
    });
    if (result == 0) {
        wait.emplace(*this, index);
    }
    return result;
}

Library::StopWait::StopWait(Library& library, std::optional<std::size_t> index)
    : library_(library) {
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard lock(library_.entriesMutex_);
    ++library_.waits_;
    deadline_ = now;
    for (std::size_t i = 0; i < library_.entries_.size(); ++i) {
        Entry& entry = library_.entries_[i];
        if ((index && *index != i) || !entry.open) {
            continue;
        }
        if (!entry.closeBy) {
            entry.closeBy = now + kStopTimeout;
        }
        deadline_ = std::max(deadline_, *entry.closeBy);
        scanners_.emplace_back(i, entry.closings);
    }
}

Library::StopWait::~StopWait() {
    // Notified under the lock: once it is released, a finalisation waiting for the last wait
    // may delete the library, condition variable and all.
    const std::lock_guard lock(library_.entriesMutex_);
    --library_.waits_;
    library_.entriesChanged_.notify_all();
}

bool Library::StopWait::closed() {
    std::unique_lock lock(library_.entriesMutex_);
    return library_.entriesChanged_.wait_until(lock, deadline_, [this] {
        return std::all_of(scanners_.begin(), scanners_.end(), [this](const auto& scanner) {
            const Entry& entry = library_.entries_[scanner.first];
            return !entry.open || entry.closings != scanner.second;
        });
    });
}

void Library::deviceAdded(FpContext*, FpDevice* device, gpointer self) {
    auto& library = *static_cast<Library*>(self);
    if (const auto index = library.add(device)) {
        library.report(SM_MONITOR_SCANNER_ADDED, *index);
    }
}

std::optional<std::size_t> Library::add(FpDevice* device) {
    if (!fp_device_has_feature(device, FP_DEVICE_FEATURE_CAPTURE)) {
        return std::nullopt;
    }
    ObjectPtr<FpDevice> owned(FP_DEVICE(g_object_ref(device)));
    std::string id = idOf(device);
    const std::optional<std::size_t> same = find(id.c_str());
    if (same && scanners_[*same]->isLost()) {
        scanners_[*same]->adopt(std::move(owned));
        return same;
    }
    if (same) {
        id += "#" + std::to_string(scanners_.size());
    }
    const std::size_t index = scanners_.size();
    scanners_.push_back(std::make_unique<Scanner>(
        std::move(owned), id,
        ScannerEvents{[this, index] { opening(index); }, [this, index] { capturing(index); },
                      [this, index] { closed(index); },
                      [this, index] { report(SM_MONITOR_SCANNER_LOST, index); }}));
    const std::lock_guard lock(entriesMutex_);
    entries_.push_back(Entry{std::move(id), false, 0, std::nullopt});
    return index;
}

void Library::opening(std::size_t index) {
    const std::lock_guard lock(entriesMutex_);
    entries_.at(index).open = true;
}

void Library::capturing(std::size_t index) {
    // A stop taken back before the device closed: the next stop waits afresh.
    const std::lock_guard lock(entriesMutex_);
    entries_.at(index).closeBy.reset();
}

void Library::closed(std::size_t index) {
    {
        const std::lock_guard lock(entriesMutex_);
        Entry& entry = entries_.at(index);
        entry.open = false;
        ++entry.closings;
        entry.closeBy.reset();
    }
    entriesChanged_.notify_all();
}

void Library::report(int32_t event, std::size_t index) const {
    if (monitor_) {
        monitor_(event, static_cast<int32_t>(index), monitorValue_);
    }
}

} // namespace qv::scanman
