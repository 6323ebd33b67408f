#include "Scanner.h"

#include <cmath>
#include <utility>

namespace qv::scanman {
namespace {

// libfprint states no resolution for any image this version captures (0 pixels per mm); the
// scanners it drives are 500 ppi devices.
constexpr int32_t defaultResolution = 500;

int32_t resolutionOf(FpImage* image) {
    const double ppmm = fp_image_get_ppmm(image);
    if (!(ppmm > 0.0) || ppmm * 25.4 > 100000.0) {
        return defaultResolution;
    }
    return static_cast<int32_t>(std::lround(ppmm * 25.4));
}

} // namespace

Scanner::Scanner(ObjectPtr<FpDevice> device, std::string id, ScannerEvents events)
    : device_(std::move(device))
    , id_(std::move(id))
    , events_(std::move(events)) {}

void Scanner::start(const CaptureProcedures& procedures) {
    procedures_ = procedures;
    stopRequested_ = false;
    state_ = State::Opening;
    fp_device_open(device_.get(), nullptr, &Scanner::opened, this);
}

void Scanner::stop() {
    stopRequested_ = true;
    if (state_ == State::Capturing) {
        // The capture's callback sees the cancellation and closes the device.
        g_cancellable_cancel(cancellable_.get());
    }
}

void Scanner::opened(GObject* device, GAsyncResult* result, gpointer self) {
    auto& scanner = *static_cast<Scanner*>(self);
    GError* failure = nullptr;
    if (!fp_device_open_finish(FP_DEVICE(device), result, &failure)) {
        ErrorPtr error(failure);
        scanner.state_ = State::Idle;
        scanner.notify(SM_NOTIFY_LOST);
        scanner.events_.stopped();
        return;
    }
    if (scanner.stopRequested_) {
        scanner.close();
        return;
    }
    scanner.captureNext();
}

void Scanner::captureNext() {
    state_ = State::Capturing;
    cancellable_.reset(g_cancellable_new());
    notify(SM_NOTIFY_READY);
    fp_device_capture(device_.get(), TRUE, cancellable_.get(), &Scanner::captured, this);
}

void Scanner::captured(GObject* device, GAsyncResult* result, gpointer self) {
    auto& scanner = *static_cast<Scanner*>(self);
    GError* failure = nullptr;
    ObjectPtr<FpImage> image(fp_device_capture_finish(FP_DEVICE(device), result, &failure));
    ErrorPtr error(failure);
    if (scanner.stopRequested_) {
        scanner.close();
        return;
    }
    if (image) {
        scanner.deliver(image.get());
        scanner.captureNext();
    } else if (error && error->domain == FP_DEVICE_RETRY) {
        scanner.notify(SM_NOTIFY_RETRY);
        scanner.captureNext();
    } else {
        scanner.notify(SM_NOTIFY_LOST);
        scanner.events_.lost();
        scanner.close();
    }
}

void Scanner::close() {
    state_ = State::Closing;
    fp_device_close(device_.get(), nullptr, &Scanner::closed, this);
}

void Scanner::closed(GObject* device, GAsyncResult* result, gpointer self) {
    auto& scanner = *static_cast<Scanner*>(self);
    GError* failure = nullptr;
    fp_device_close_finish(FP_DEVICE(device), result, &failure);
    ErrorPtr error(failure);
    scanner.state_ = State::Idle;
    scanner.events_.stopped();
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
