// The scanner library's state between SMInitialize and SMFinalize.

#include "Library.h"

#include <algorithm>
#include <chrono>
#include <libusb.h>

namespace qv::scanman {
namespace {

// Closing a device takes about 100 ms; one that has not closed by then never will. Short of
// the 5 s the callers are promised, which also cover the rest of finalising.
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
    stop(std::nullopt);
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

bool Library::capturing(std::size_t index) const {
    const std::lock_guard lock(entriesMutex_);
    return entries_.at(index).capturing;
}

void Library::start(std::size_t index, const CaptureProcedures& procedures) {
    {
        const std::lock_guard lock(entriesMutex_);
        entries_.at(index).capturing = true;
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
    std::unique_lock lock(entriesMutex_);
    capturingChanged_.wait_for(lock, kStopTimeout, [&] {
        return index ? !entries_.at(*index).capturing
                     : std::none_of(entries_.begin(), entries_.end(),
                                    [](const Entry& entry) { return entry.capturing; });
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
        ScannerEvents{[this, index] { stopped(index); },
                      [this, index] { report(SM_MONITOR_SCANNER_LOST, index); }}));
    const std::lock_guard lock(entriesMutex_);
    entries_.push_back(Entry{std::move(id)});
    return index;
}

void Library::stopped(std::size_t index) {
    {
        const std::lock_guard lock(entriesMutex_);
        entries_.at(index).capturing = false;
    }
    capturingChanged_.notify_all();
}

void Library::report(int32_t event, std::size_t index) const {
    if (monitor_) {
        monitor_(event, static_cast<int32_t>(index), monitorValue_);
    }
}

} // namespace qv::scanman
