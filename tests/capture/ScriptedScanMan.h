// A scanner library whose answers the test scripts, for the live scanner's tests.

#pragma once

#include "libs/scanman/include/ScanManApi.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What the scripted scanner library answers, set by the test through ScriptedScanMan_Script(),
// and the calls it received, one line each ("SMGetScannerId 1 size 0"). Unscripted, it answers
// like a library without scanners. With SCRIPTED_SCANMAN_LOG set in its environment, it also
// appends each call to that file, for tests of a whole station process.
struct ScriptedScanManScript {
    // Type answers of the type query, by parameter id; unlisted parameters answer -10.
    std::map<int32_t, int32_t> types{{10, 100}, {11, 5}, {12, 5}};
    std::map<int32_t, int32_t> integers{{11, 1}, {12, 0}};
    std::map<int32_t, std::string> texts{{10, "scripted"}};
    int32_t scannerCount = 0;
    // Per index: the sizing answer (negative = failure) and the id written by the second call;
    // an index with a negative `readResult` fails its second call.
    struct Id {
        int32_t size = 0;
        std::string text;
        int32_t readResult = 0;
    };
    std::vector<Id> ids;
    // What SMStartCapturing (last call) and SMSetMonitor were given, for a test to call as
    // the library's thread would; the monitor goes with SMRemoveMonitor.
    SMImageProc image = nullptr;
    SMNotifyProc notify = nullptr;
    SMMonitorProc monitor = nullptr;
    // The answer of SMStartCapturing.
    int32_t startResult = 0;
    std::vector<std::string> calls;
};

extern "C" ScriptedScanManScript* ScriptedScanMan_Script();
