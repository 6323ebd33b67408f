#include "capture/ScanMan.h"

#include "platform/Errors.h"
#include "platform/LibraryBinding.h"

namespace qv {
namespace {

struct EntryPoints {
    decltype(&::SMInitialize) initialize = nullptr;
    decltype(&::SMGetParameter) getParameter = nullptr;
    decltype(&::SMSetMonitor) setMonitor = nullptr;
    decltype(&::SMGetScannerCount) getScannerCount = nullptr;
    decltype(&::SMGetScannerId) getScannerId = nullptr;
    decltype(&::SMStartCapturing) startCapturing = nullptr;
    decltype(&::SMStopCapturing) stopCapturing = nullptr;
    decltype(&::SMRemoveMonitor) removeMonitor = nullptr;
    decltype(&::SMFinalize) finalize = nullptr;
};

// Bound at start-up, before any other thread exists, and released at exit.
struct Binding {
    LibraryBinding library{"ScanMan"};
    EntryPoints entries;
};

Binding& binding() {
    static Binding instance;
    return instance;
}

// Texts the library hands over are names and versions; anything longer is a broken answer,
// not something to allocate for.
constexpr int32_t maxTextLength = 64 * 1024;

const EntryPoints& entries() {
    if (!binding().library.loaded()) {
        throw GeneralError("The scanner library is not loaded");
    }
    return binding().entries;
}

} // namespace

void LoadScanMan(std::string_view library) {
    Binding& state = binding();
    if (state.library.loaded()) {
        return;
    }
    state.library.open(library);
    try {
        EntryPoints& e = state.entries;
        e.initialize = state.library.resolve<decltype(e.initialize)>("SMInitialize", __LINE__);
        e.getParameter =
            state.library.resolve<decltype(e.getParameter)>("SMGetParameter", __LINE__);
        e.setMonitor = state.library.resolve<decltype(e.setMonitor)>("SMSetMonitor", __LINE__);
        e.getScannerCount =
            state.library.resolve<decltype(e.getScannerCount)>("SMGetScannerCount", __LINE__);
        e.getScannerId =
            state.library.resolve<decltype(e.getScannerId)>("SMGetScannerId", __LINE__);
        e.startCapturing =
            state.library.resolve<decltype(e.startCapturing)>("SMStartCapturing", __LINE__);
        e.stopCapturing =
            state.library.resolve<decltype(e.stopCapturing)>("SMStopCapturing", __LINE__);
        e.removeMonitor =
            state.library.resolve<decltype(e.removeMonitor)>("SMRemoveMonitor", __LINE__);
        e.finalize = state.library.resolve<decltype(e.finalize)>("SMFinalize", __LINE__);
    } catch (...) {
        UnloadScanMan();
        throw;
    }
}

void UnloadScanMan() {
    binding().entries = {};
    binding().library.close();
}

bool ScanManLoaded() {
    return binding().library.loaded();
}

int32_t SMInitialize() {
    return entries().initialize();
}

int32_t SMSetMonitor(SMMonitorProc monitor, intptr_t userValue) {
    return entries().setMonitor(monitor, userValue);
}

int32_t SMRemoveMonitor() {
    return entries().removeMonitor();
}

int32_t SMFinalize() {
    return entries().finalize();
}

std::string ScanManErrorText(int32_t code) {
    switch (code) {
    case -1:
        return "Failed";
    case -2:
        return "Out of memory";
    case -3:
        return "Not initialized";
    case -4:
        return "Argument null";
    case -5:
        return "Invalid argument";
    case -10:
        return "Invalid parameter";
    case -11:
        return "Parameter is read only";
    case -100:
        return "Not capturing";
    case -101:
        return "Already capturing";
    default:
        return IsScanManFailure(code) ? std::to_string(code) : std::string();
    }
}

void CheckScanManResult(int32_t code) {
    if (IsScanManFailure(code)) {
        throw GeneralError("ScanMan error:\r\tCode = " + std::to_string(code) +
                           "\r\tDescription = " + ScanManErrorText(code));
    }
}

int32_t GetParameterType(int32_t scanner, int32_t parameter) {
    const int32_t type =
        entries().getParameter(scanner, 0, reinterpret_cast<void*>(intptr_t{parameter}));
    CheckScanManResult(type);
    return type;
}

void RequireParameterType(int32_t scanner, int32_t parameter, int32_t expectedType) {
    if (GetParameterType(scanner, parameter) != expectedType) {
        throw GeneralError("ScanMan parameter is of wrong type");
    }
}

int32_t GetIntegerParameter(int32_t scanner, int32_t parameter) {
    RequireParameterType(scanner, parameter, ParameterTypeInteger);
    int32_t value = 0;
    CheckScanManResult(entries().getParameter(scanner, parameter, &value));
    return value;
}

std::string GetTextParameter(int32_t scanner, int32_t parameter) {
    RequireParameterType(scanner, parameter, ParameterTypeText);
    const int32_t length = entries().getParameter(scanner, parameter, nullptr);
    CheckScanManResult(length);
    if (length > maxTextLength) {
        throw GeneralError("ScanMan parameter is too long");
    }
    // The library writes the characters and a terminating zero, which std::string keeps room
    // for past its size.
    std::string text(static_cast<std::size_t>(length), '\0');
    CheckScanManResult(entries().getParameter(scanner, parameter, text.data()));
    return text;
}

std::string GetScanManParameter10() {
    return GetTextParameter(0, 10);
}

int32_t GetScanManParameter11() {
    return GetIntegerParameter(0, 11);
}

int32_t GetScanManParameter12() {
    return GetIntegerParameter(0, 12);
}

std::string GetScannerIdAt(int32_t index) {
    const EntryPoints& e = entries();
    const int32_t size = e.getScannerId(index, nullptr, 0);
    // A size of 0 cannot count a terminating zero: the library is not making sense.
    if (size > 0 && size <= maxTextLength) {
        std::string id(static_cast<std::size_t>(size - 1), '\0');
        if (IsScanManSuccess(e.getScannerId(index, id.data(), size))) {
            return id;
        }
    }
    throw GeneralError("Can not retrieve scanner id");
}

void ListScannerIds(std::vector<std::string>& list) {
    list.clear();
    const int32_t count = entries().getScannerCount();
    for (int32_t index = 0; index < count; ++index) {
        try {
            list.push_back(GetScannerIdAt(index));
        } catch (const std::exception&) {
            // An unreadable id leaves that scanner out, silently.
        }
    }
}

int32_t StartScannerCapture(const std::string& scannerId, SMImageProc image, SMNotifyProc notify,
                            intptr_t userValue) {
    return entries().startCapturing(scannerId.c_str(), image, notify, userValue);
}

int32_t StopAllCapture() {
    return entries().stopCapturing(nullptr);
}

} // namespace qv
