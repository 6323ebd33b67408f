// A scanner library with the station's C interface whose answers the test scripts, for the
// binding's cases the real library never produces.

#include "tests/capture/ScriptedScanMan.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

extern "C" ScriptedScanManScript* ScriptedScanMan_Script() {
    static ScriptedScanManScript script;
    return &script;
}

namespace {

ScriptedScanManScript& script() {
    return *ScriptedScanMan_Script();
}

// The station calls from its GUI thread and from the thread that starts and stops readers.
void record(std::string call) {
    static std::mutex calls;
    const std::lock_guard lock(calls);
    if (const char* log = std::getenv("SCRIPTED_SCANMAN_LOG")) {
        std::ofstream(log, std::ios::app) << call << '\n';
    }
    script().calls.push_back(std::move(call));
}

} // namespace

extern "C" {

int32_t SMInitialize(void) {
    record("SMInitialize");
    return 0;
}

int32_t SMGetParameter(int32_t scanner, int32_t parameter, void* value) {
    if (parameter == 0) {
        const auto asked = static_cast<int32_t>(reinterpret_cast<intptr_t>(value));
        record("type " + std::to_string(scanner) + " " + std::to_string(asked));
        const auto type = script().types.find(asked);
        return type == script().types.end() ? -10 : type->second;
    }
    record("read " + std::to_string(scanner) + " " + std::to_string(parameter) +
           (value ? "" : " null"));
    if (const auto text = script().texts.find(parameter); text != script().texts.end()) {
        if (value) {
            std::memcpy(value, text->second.c_str(), text->second.size() + 1);
        }
        return static_cast<int32_t>(text->second.size());
    }
    *static_cast<int32_t*>(value) = script().integers.at(parameter);
    return 0;
}

int32_t SMSetMonitor(SMMonitorProc monitor, intptr_t) {
    record("SMSetMonitor");
    script().monitor = monitor;
    return 0;
}

int32_t SMGetScannerCount(void) {
    record("SMGetScannerCount");
    return script().scannerCount;
}

int32_t SMGetScannerId(int32_t index, char* buffer, int32_t size) {
    record("SMGetScannerId " + std::to_string(index) + " size " + std::to_string(size));
    const ScriptedScanManScript::Id& id = script().ids.at(static_cast<std::size_t>(index));
    if (!buffer) {
        return id.size;
    }
    if (id.readResult >= 0) {
        std::memcpy(buffer, id.text.c_str(), id.text.size() + 1);
    }
    return id.readResult;
}

int32_t SMStartCapturing(const char* scannerId, SMImageProc image, SMNotifyProc notify, intptr_t) {
    record(std::string("SMStartCapturing ") + scannerId);
    script().image = image;
    script().notify = notify;
    return script().startResult;
}

int32_t SMStopCapturing(const char* scannerId) {
    record(std::string("SMStopCapturing ") + (scannerId ? scannerId : "all"));
    return 0;
}

int32_t SMRemoveMonitor(void) {
    record("SMRemoveMonitor");
    script().monitor = nullptr;
    return 0;
}

int32_t SMFinalize(void) {
    record("SMFinalize");
    return 0;
}

} // extern "C"
