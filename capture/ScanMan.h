// Binding of the scanner library's C interface at run time.

#pragma once

#include "libs/scanman/include/ScanManApi.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The scanner library's name as the station knows it; the platform loader maps it to the file.
inline constexpr std::string_view kScanManLibraryName = "ScanMan.dll";

// Binds the scanner library by that name (or a path) and resolves its nine entry points. The
// station cannot run without it: a library that is absent raises qv::GeneralError naming it, one
// lacking an entry point qv::AssertionFailed. Does nothing while a library is bound.
void loadScanMan(std::string_view library = kScanManLibraryName);
void unloadScanMan();
bool scanManLoaded();

// The bound entry points; calling one before loadScanMan raises qv::GeneralError.
int32_t SMInitialize();
int32_t SMSetMonitor(SMMonitorProc monitor, intptr_t userValue);
int32_t SMRemoveMonitor();
int32_t SMFinalize();

inline constexpr int32_t kParameterTypeInteger = 5;
inline constexpr int32_t kParameterTypeText = 100;

inline bool isScanManSuccess(int32_t code) {
    return code >= 0;
}
inline bool isScanManFailure(int32_t code) {
    return code < 0;
}

// The description of a failure code; empty for success codes.
std::string ScanManErrorText(int32_t code);
// Raises qv::GeneralError "ScanMan error:\r\tCode = <code>\r\tDescription = <text>" for a
// failure code.
void CheckScanManResult(int32_t code);

int32_t GetParameterType(int32_t scanner, int32_t parameter);
// Raises "ScanMan parameter is of wrong type" unless the parameter has that type.
void RequireParameterType(int32_t scanner, int32_t parameter, int32_t expectedType);
int32_t GetIntegerParameter(int32_t scanner, int32_t parameter);
std::string GetTextParameter(int32_t scanner, int32_t parameter);

// The three library parameters read at start-up, on scanner selector 0; only their types
// matter.
std::string getScanManParameter10();
int32_t getScanManParameter11();
int32_t getScanManParameter12();

// Raises "Can not retrieve scanner id" when the library cannot say.
std::string GetScannerIdAt(int32_t index);
// The readable ids in index order; unreadable ones are left out without a word.
void ListScannerIds(std::vector<std::string>& list);

int32_t StartScannerCapture(const std::string& scannerId, SMImageProc image, SMNotifyProc notify,
                            intptr_t userValue);
int32_t StopAllCapture();

} // namespace qv
