// Starting external programs and waiting for them.

#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qv {

// The longest command line (program path, a blank, the argument text) the station hands to a
// program; anything longer is refused before a process is created.
inline constexpr std::size_t maxCommandLineLength = 512;

// The words of an argument text as an unquoted command line yields them: runs of blanks and
// tabs separate words, leading and trailing blanks yield no word, and quotes are ordinary
// characters.
std::vector<std::string> splitCommandLineWords(const std::string& text);

// The program path followed by one blank and the argument text, or the path alone when there
// is no argument text. Its length in characters is what the bound above applies to.
std::string commandLineText(const std::string& program, const std::string& argumentText);

// A started child process, owned until it has been reaped. One that is dropped while still
// running keeps running and is reaped in the background, so no zombie is left behind.
class ChildProcess {
public:
    ChildProcess(pid_t pid, int pidfd) noexcept
        : pid_(pid)
        , pidfd_(pidfd) {}
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }

    // Blocks until the child has ended, calling betweenWaits before each short sleep so the
    // caller can keep its windows painted. The sleep wakes as soon as the child ends.
    void wait(const std::function<void()>& betweenWaits);

private:
    bool tryReap();

    pid_t pid_;
    int pidfd_;
    bool reaped_ = false;
};

// Starts program (never split, resolved against the current directory when relative) with the
// words of argumentText as its arguments, in workingDirectory (the current one when empty).
// Returns nothing when the program could not be started: missing, not executable, or the
// folder unusable. Throws GeneralError for a command line over maxCommandLineLength, before
// anything is started.
std::optional<ChildProcess> startProgram(const std::string& program,
                                         const std::string& argumentText,
                                         const std::string& workingDirectory);

// Like startProgram, but does not wait: the child is reaped in the background when it ends.
// Returns whether it was started.
bool startProgramDetached(const std::string& program, const std::string& argumentText,
                          const std::string& workingDirectory);

} // namespace qv
