// Runs the external capture program and its configuration program.

#pragma once

#include "capture/CaptureProgramPaths.h"
#include "capture/RunnerUi.h"
#include "platform/Process.h"

#include <string>

namespace qv {

// The file a capture program leaves in the capture folder.
inline constexpr const char* capturedFingerprintFile = "huella.bmp";

// Runs the selected capture program with argument and waits for it, the windows repainting
// meanwhile. Returns whether it left its fingerprint file behind. A missing program is
// reported through ui and nothing is run.
bool RunCaptureProgram(const CaptureProgramPaths& paths, RunnerUi& ui, const std::string& argument);

// Starts the selected capture program's configuration program, without an argument, in the
// station's current folder, and returns at once.
void RunConfigProgram(const CaptureProgramPaths& paths, RunnerUi& ui);

// Starts program in its own folder with the words of argument and waits for its end. Returns
// false when it could not be started.
bool RunProgramAndWait(const std::string& program, const std::string& argument, RunnerUi& ui);

// Waits for the process to end while the windows repaint but take no input.
void WaitForProcess(ChildProcess& process, RunnerUi& ui);

// The folder part of a program path, without a trailing separator ("/" stays "/"); empty when
// the path names no folder.
std::string programFolder(const std::string& program);

} // namespace qv
