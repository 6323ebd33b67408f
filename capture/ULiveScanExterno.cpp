// Runs the external capture program and its configuration program.

#include "capture/ULiveScanExterno.h"

#include "platform/Files.h"

namespace qv {
namespace {

// Shows the missing-program message when program is not a file; says whether it is one.
bool programExists(const std::string& program, RunnerUi& ui) {
    if (fileExists(program)) {
        return true;
    }
    ui.showError("Error: no existe el programa \"" + program + "\"");
    return false;
}

} // namespace

std::string programFolder(const std::string& program) {
    const auto slash = program.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? "/" : program.substr(0, slash);
}

void WaitForProcess(ChildProcess& process, RunnerUi& ui) {
    process.wait([&ui] { ui.processPaintEvents(); });
}

bool RunProgramAndWait(const std::string& program, const std::string& argument, RunnerUi& ui) {
    std::optional<ChildProcess> process = startProgram(program, argument, programFolder(program));
    if (!process) {
        return false;
    }
    WaitForProcess(*process, ui);
    return true;
}

bool RunCaptureProgram(const CaptureProgramPaths& paths, RunnerUi& ui,
                       const std::string& argument) {
    deleteFile(paths.GetPathLiveScan() + kCapturedFingerprintFile);
    if (!programExists(paths.GetExeCaptura(), ui)) {
        return false;
    }
    {
        BusyCursor busy(ui);
        // A program that could not be started leaves no file, so the test below decides.
        RunProgramAndWait(paths.GetExeCaptura(), argument, ui);
    }
    return fileExists(paths.GetPathLiveScan() + kCapturedFingerprintFile);
}

void RunConfigProgram(const CaptureProgramPaths& paths, RunnerUi& ui) {
    const std::string program = paths.GetExeConfig();
    if (!programExists(program, ui)) {
        return;
    }
    BusyCursor busy(ui);
    startProgramDetached(program, {}, {});
}

} // namespace qv
