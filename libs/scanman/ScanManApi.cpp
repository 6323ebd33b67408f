// The scanner library's C entry points over libfprint. Calls are serialised; the library's
// state exists from SMInitialize to SMFinalize.

// The declarations give the entry points default visibility in this hidden-by-default build.
#pragma GCC visibility push(default)
#include "ScanManApi.h"
#pragma GCC visibility pop

#include "src/Library.h"

#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>

namespace {

using qv::scanman::CaptureProcedures;
using qv::scanman::Library;

constexpr std::string_view kVersionText = "ScanMan " QV_SCANMAN_VERSION " (libfprint 2)";
constexpr int32_t kInterfaceVersion = 1;

std::mutex apiMutex;
std::unique_ptr<Library> library;

// Runs one entry point: refused from inside a procedure (the library's thread would wait on
// itself) and before initialisation; C++ failures become result codes.
template <typename Body> int32_t entry(bool needsLibrary, Body body) {
    if (qv::scanman::LibraryThread::insideLibrary()) {
        return SM_ERROR_FAILED;
    }
    const std::lock_guard lock(apiMutex);
    if (needsLibrary && !library) {
        return SM_ERROR_NOT_INITIALIZED;
    }
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return SM_ERROR_OUT_OF_MEMORY;
    } catch (...) {
        return SM_ERROR_FAILED;
    }
}

int32_t parameterType(intptr_t parameter) {
    switch (parameter) {
    case SM_PARAMETER_VERSION:
        return SM_TYPE_TEXT;
    case SM_PARAMETER_INTERFACE:
    case SM_PARAMETER_SCANNER_COUNT:
        return SM_TYPE_INTEGER;
    default:
        return SM_ERROR_INVALID_PARAMETER;
    }
}

} // namespace

extern "C" {

int32_t SMInitialize(void) {
    return entry(false, [] {
        if (!library) {
            try {
                library = std::make_unique<Library>();
            } catch (const qv::scanman::MainContextBusy&) {
                return int32_t{SM_ERROR_MAIN_CONTEXT_BUSY};
            }
        }
        return int32_t{0};
    });
}

int32_t SMGetParameter(int32_t scanner, int32_t parameter, void* value) {
    return entry(true, [&]() -> int32_t {
        if (scanner != 0) {
            return SM_ERROR_INVALID_ARGUMENT;
        }
        if (parameter == SM_PARAMETER_TYPE) {
            return parameterType(reinterpret_cast<intptr_t>(value));
        }
        if (parameterType(parameter) < 0) {
            return SM_ERROR_INVALID_PARAMETER;
        }
        if (parameter == SM_PARAMETER_VERSION) {
            // The length in characters, without a terminating zero; the text is written with
            // one.
            if (value != nullptr) {
                std::memcpy(value, kVersionText.data(), kVersionText.size());
                static_cast<char*>(value)[kVersionText.size()] = '\0';
            }
            return static_cast<int32_t>(kVersionText.size());
        }
        if (value == nullptr) {
            return SM_ERROR_ARGUMENT_NULL;
        }
        *static_cast<int32_t*>(value) =
            parameter == SM_PARAMETER_INTERFACE ? kInterfaceVersion : library->scannerCount();
        return 0;
    });
}

int32_t SMSetMonitor(SMMonitorProc monitor, intptr_t userValue) {
    return entry(true, [&] {
        library->setMonitor(monitor, userValue);
        return 0;
    });
}

int32_t SMGetScannerCount(void) {
    return entry(true, [] { return library->scannerCount(); });
}

int32_t SMGetScannerId(int32_t index, char* buffer, int32_t size) {
    return entry(true, [&]() -> int32_t {
        if (index < 0 || index >= library->scannerCount()) {
            return SM_ERROR_INVALID_ARGUMENT;
        }
        const std::string id = library->scannerId(index);
        const auto needed = static_cast<int32_t>(id.size() + 1);
        if (buffer == nullptr) {
            return size == 0 ? needed : SM_ERROR_ARGUMENT_NULL;
        }
        if (size < needed) {
            return SM_ERROR_INVALID_ARGUMENT;
        }
        std::memcpy(buffer, id.c_str(), id.size() + 1);
        return 0;
    });
}

int32_t SMStartCapturing(const char* scannerId, SMImageProc image, SMNotifyProc notify,
                         intptr_t userValue) {
    return entry(true, [&]() -> int32_t {
        if (scannerId == nullptr || image == nullptr) {
            return SM_ERROR_ARGUMENT_NULL;
        }
        const auto index = library->find(scannerId);
        if (!index) {
            return SM_ERROR_INVALID_ARGUMENT;
        }
        return library->start(*index, CaptureProcedures{image, notify, userValue});
    });
}

int32_t SMStopCapturing(const char* scannerId) {
    // The wait for the devices to close runs outside the callers' lock, so that a start from
    // another thread is not held up by a device that takes its time.
    std::optional<Library::StopWait> wait;
    const int32_t asked = entry(true, [&]() -> int32_t {
        std::optional<std::size_t> index;
        if (scannerId != nullptr) {
            index = library->find(scannerId);
            if (!index) {
                return SM_ERROR_INVALID_ARGUMENT;
            }
        }
        return library->stop(index, wait);
    });
    if (!wait) {
        return asked;
    }
    return wait->closed() ? 0 : int32_t{SM_ERROR_STOP_TIMED_OUT};
}

int32_t SMRemoveMonitor(void) {
    return entry(true, [] {
        library->setMonitor(nullptr, 0);
        return 0;
    });
}

int32_t SMFinalize(void) {
    return entry(true, [] {
        library.reset();
        return 0;
    });
}

} // extern "C"
