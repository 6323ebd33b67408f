// One libfprint device driven as a capturing scanner through a working day.

#include "Scanner.h"

#include "LeftoverSources.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace qv::scanman {
namespace {

// libfprint states no resolution for any image this version captures (0 pixels per mm); the
// scanners it drives are 500 ppi devices.
constexpr int32_t kDefaultResolution = 500;

// A glitch is over by the time a reopened device answers (opening takes about 100 ms), so
// the first pause is short; a device that keeps failing is tried twice a minute at most,
// which keeps the wait of a person at the door short once it works again.
constexpr auto kFirstPause = std::chrono::seconds(1);
constexpr auto kLongestPause = std::chrono::seconds(30);

// libfprint cools a device down over minutes; a second is fine-grained enough to notice it.
constexpr guint kTemperatureCheckMs = 1000;

// How long libfprint's model keeps a hot device resting before it may capture again (measured
// at about 3.5 minutes of rest), for a reader that came back as a new device while hot.
constexpr auto kCoolingTime = std::chrono::seconds(210);

int32_t resolutionOf(FpImage* image) {
    const double ppmm = fp_image_get_ppmm(image);
    if (!(ppmm > 0.0) || ppmm * 25.4 > 100000.0) {
        return kDefaultResolution;
    }
    return static_cast<int32_t>(std::lround(ppmm * 25.4));
}

// The scanners alive, by the key their devices' callbacks carry. A device that never
// finishes an operation may call back after its scanner, or the whole library instance, is
// gone: on the same default main context, possibly on a later instance's thread.
std::mutex livingMutex;
std::unordered_map<gpointer, Scanner*> living;
std::uintptr_t lastKey = 0;

} // namespace

std::chrono::milliseconds reopenPause(int failures) {
    const int doublings = std::clamp(failures - 1, 0, 16);
    return std::min<std::chrono::milliseconds>(kFirstPause * (1 << doublings), kLongestPause);
}

Scanner::Scanner(ObjectPtr<FpDevice> device, std::string id, ScannerEvents events)
    : id_(std::move(id))
    , events_(std::move(events)) {
    attach(std::move(device));
}

Scanner::~Scanner() {
    if (cancellable_) {
        g_cancellable_cancel(cancellable_.get());
    }
    detach();
}

Scanner* Scanner::find(gpointer key) {
    const std::lock_guard lock(livingMutex);
    const auto found = living.find(key);
    return found == living.end() ? nullptr : found->second;
}

void Scanner::attach(ObjectPtr<FpDevice> device) {
    device_ = std::move(device);
    {
        const std::lock_guard lock(livingMutex);
        key_ = reinterpret_cast<gpointer>(++lastKey);
        living.emplace(key_, this);
    }
    removedHandler_ =
        g_signal_connect(device_.get(), "removed", G_CALLBACK(&Scanner::removed), key_);
}

void Scanner::detach() {
    clearTimer();
    g_signal_handler_disconnect(device_.get(), removedHandler_);
    const std::lock_guard lock(livingMutex);
    living.erase(key_);
}

void Scanner::adopt(ObjectPtr<FpDevice> device) {
    if (state_ != State::Idle) {
        releaseDevice();
        finish();
    }
    detach();
    attach(std::move(device));
    lost_ = false;
}

void Scanner::releaseDevice() {
    // Once detached, the callbacks of what is pending find no scanner and close the device
    // themselves; a device that waits for nothing is closed here.
    switch (state_) {
    case State::Capturing:
    case State::Cancelling:
        g_cancellable_cancel(cancellable_.get());
        break;
    case State::Resting:
        fp_device_close(device_.get(), nullptr, nullptr, nullptr);
        break;
    case State::Idle:
    case State::Opening:
    case State::Closing:
    case State::Pausing:
        break;
    }
}

int32_t Scanner::start(const CaptureProcedures& procedures) {
    if (wanted_) {
        return SM_ERROR_ALREADY_CAPTURING;
    }
    procedures_ = procedures;
    failuresInRow_ = 0;
    if (lost_) {
        notify(SM_NOTIFY_LOST);
        return 0;
    }
    wanted_ = true;
    if (state_ == State::Idle) {
        open();
    }
    // Otherwise a stop is still under way (opening, cancelling or closing): its callback
    // sees that capturing is wanted again.
    return 0;
}

int32_t Scanner::stop() {
    if (!wanted_) {
        return SM_ERROR_NOT_CAPTURING;
    }
    wanted_ = false;
    switch (state_) {
    case State::Capturing:
        // The capture's callback sees the cancellation and closes the device.
        state_ = State::Cancelling;
        g_cancellable_cancel(cancellable_.get());
        break;
    case State::Resting:
        clearTimer();
        close(false);
        break;
    case State::Pausing:
        clearTimer();
        finish();
        break;
    case State::Idle:
    case State::Opening:
    case State::Cancelling:
    case State::Closing:
        // Nothing to end, or the pending callback sees the request.
        break;
    }
    return 0;
}

void Scanner::open() {
    state_ = State::Opening;
    events_.opening();
    sourcesFrom_ = nextSourceId();
    fp_device_open(device_.get(), nullptr, &Scanner::opened, key_);
}

void Scanner::opened(GObject* device, GAsyncResult* result, gpointer key) {
    GError* failure = nullptr;
    const bool open = fp_device_open_finish(FP_DEVICE(device), result, &failure);
    const ErrorPtr error(failure);
    Scanner* scanner = find(key);
    if (scanner == nullptr) {
        if (open) {
            fp_device_close(FP_DEVICE(device), nullptr, nullptr, nullptr);
        }
        return;
    }
    if (!open) {
        if (!scanner->wanted_) {
            scanner->finish();
            return;
        }
        scanner->notify(SM_NOTIFY_OPEN_FAILED);
        scanner->pauseThenReopen();
        return;
    }
    scanner->notify(SM_NOTIFY_OPENED);
    if (!scanner->wanted_) {
        scanner->close(false);
        return;
    }
    scanner->captureNext();
}

bool Scanner::isHot() const {
    return fp_device_get_temperature(device_.get()) == FP_TEMPERATURE_HOT ||
           std::chrono::steady_clock::now() < coolAt_;
}

void Scanner::captureNext() {
    events_.capturing();
    // A hot device would refuse the capture at once: the reader is not ready, not even for
    // a moment.
    if (isHot()) {
        rest();
        return;
    }
    state_ = State::Capturing;
    cancellable_.reset(g_cancellable_new());
    notify(SM_NOTIFY_READY);
    fp_device_capture(device_.get(), TRUE, cancellable_.get(), &Scanner::captured, key_);
}

void Scanner::captured(GObject* device, GAsyncResult* result, gpointer key) {
    GError* failure = nullptr;
    const ObjectPtr<FpImage> image(fp_device_capture_finish(FP_DEVICE(device), result, &failure));
    const ErrorPtr error(failure);
    Scanner* scanner = find(key);
    if (scanner == nullptr) {
        // The scanner is gone or has a new device: this one is still open.
        fp_device_close(FP_DEVICE(device), nullptr, nullptr, nullptr);
        return;
    }
    const bool cancelledForStop = scanner->state_ == State::Cancelling;
    scanner->cancellable_.reset();
    if (!scanner->wanted_) {
        scanner->close(false);
    } else if (image) {
        scanner->failuresInRow_ = 0;
        scanner->deliver(image.get());
        scanner->captureNext();
    } else if (cancelledForStop && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        // The stop was taken back before the device closed.
        scanner->captureNext();
    } else {
        scanner->captureFailed(*error);
    }
}

void Scanner::captureFailed(const GError& error) {
    if (error.domain == FP_DEVICE_RETRY) {
        // The reader works; the finger did not.
        failuresInRow_ = 0;
        notify(SM_NOTIFY_RETRY);
        captureNext();
    } else if (g_error_matches(&error, FP_DEVICE_ERROR, FP_DEVICE_ERROR_REMOVED)) {
        markLost();
        close(false);
    } else if (g_error_matches(&error, FP_DEVICE_ERROR, FP_DEVICE_ERROR_TOO_HOT) || isHot()) {
        // libfprint cancels the capture of a hot device and refuses new ones until it cools.
        rest();
    } else {
        notify(SM_NOTIFY_FAILED);
        close(true);
    }
}

void Scanner::rest() {
    state_ = State::Resting;
    restingSince_ = std::chrono::steady_clock::now();
    notify(SM_NOTIFY_RESTING);
    timer_ = g_timeout_add(kTemperatureCheckMs, &Scanner::checkTemperature, key_);
}

gboolean Scanner::checkTemperature(gpointer key) {
    Scanner* scanner = find(key);
    if (scanner == nullptr) {
        return G_SOURCE_REMOVE;
    }
    if (scanner->isHot()) {
        return G_SOURCE_CONTINUE;
    }
    scanner->timer_ = 0;
    scanner->captureNext();
    return G_SOURCE_REMOVE;
}

void Scanner::close(bool afterFailure) {
    state_ = State::Closing;
    closingAfterFailure_ = afterFailure;
    fp_device_close(device_.get(), nullptr, &Scanner::closed, key_);
}

void Scanner::closed(GObject* device, GAsyncResult* result, gpointer key) {
    GError* failure = nullptr;
    fp_device_close_finish(FP_DEVICE(device), result, &failure);
    const ErrorPtr error(failure);
    Scanner* scanner = find(key);
    if (scanner == nullptr) {
        return;
    }
    destroyLeftoverSources(FP_DEVICE(device), scanner->sourcesFrom_);
    if (scanner->wanted_ && scanner->closingAfterFailure_) {
        scanner->pauseThenReopen();
    } else {
        scanner->finish();
    }
}

void Scanner::pauseThenReopen() {
    state_ = State::Pausing;
    ++failuresInRow_;
    const auto pause = reopenPause(failuresInRow_);
    timer_ = g_timeout_add(static_cast<guint>(pause.count()), &Scanner::pauseOver, key_);
}

gboolean Scanner::pauseOver(gpointer key) {
    if (Scanner* scanner = find(key)) {
        scanner->timer_ = 0;
        scanner->open();
    }
    return G_SOURCE_REMOVE;
}

void Scanner::removed(FpDevice*, gpointer key) {
    Scanner* scanner = find(key);
    if (scanner == nullptr || scanner->lost_) {
        return;
    }
    scanner->markLost();
    // No operation is pending on a removed device: whatever the scanner waits for ends here.
    switch (scanner->state_) {
    case State::Resting:
        scanner->clearTimer();
        scanner->close(false);
        break;
    case State::Pausing:
        scanner->clearTimer();
        scanner->finish();
        break;
    default:
        break;
    }
}

void Scanner::markLost() {
    if (lost_) {
        return;
    }
    lost_ = true;
    wanted_ = false;
    if (state_ == State::Resting || isHot()) {
        // Hot when unplugged: the device it comes back as starts with a cold model, which must
        // not cut the rest short.
        const auto since =
            state_ == State::Resting ? restingSince_ : std::chrono::steady_clock::now();
        coolAt_ = std::max(coolAt_, since + kCoolingTime);
    }
    if (state_ != State::Idle) {
        notify(SM_NOTIFY_LOST);
    }
    events_.lost();
}

void Scanner::finish() {
    clearTimer();
    cancellable_.reset();
    state_ = State::Idle;
    notify(SM_NOTIFY_CLOSED);
    events_.closed();
    if (wanted_) {
        // Started again while the stop was under way: the stop has ended, capturing begins.
        open();
    }
}

void Scanner::clearTimer() {
    if (timer_ != 0) {
        g_source_remove(timer_);
        timer_ = 0;
    }
}

void Scanner::deliver(FpImage* image) const {
    const guint width = fp_image_get_width(image);
    const guint height = fp_image_get_height(image);
    gsize length = 0;
    const guchar* pixels = fp_image_get_data(image, &length);
    if (procedures_.image == nullptr || pixels == nullptr || width == 0 || height == 0 ||
        width > INT32_MAX / height || length != gsize{width} * height) {
        return;
    }
    procedures_.image(id_.c_str(), static_cast<int32_t>(width), static_cast<int32_t>(height),
                      pixels, resolutionOf(image), procedures_.userValue);
}

void Scanner::notify(int32_t event) const {
    if (procedures_.notify) {
        procedures_.notify(id_.c_str(), event, procedures_.userValue);
    }
}

} // namespace qv::scanman
