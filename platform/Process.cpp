// Starting external programs and waiting for them.

#include "platform/Process.h"

#include "platform/Errors.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qv {
namespace {

// How long one sleep of the wait lasts at most: short enough that windows repaint smoothly,
// long enough that waiting costs no measurable processor time.
constexpr int waitSliceMs = 25;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Characters, not bytes: an accented identifier counts each letter once.
std::size_t characterCount(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

int openPidfd(pid_t pid) {
    // Without pidfd support the wait still works, sleeping in slices instead of waking early.
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

void reapInBackground(pid_t pid) noexcept {
    try {
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: one zombie is a lesser harm than ending the station.
    }
}

struct FileActions {
    posix_spawn_file_actions_t value;
    FileActions() { posix_spawn_file_actions_init(&value); }
    ~FileActions() { posix_spawn_file_actions_destroy(&value); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
};

struct SpawnAttributes {
    posix_spawnattr_t value;
    SpawnAttributes() { posix_spawnattr_init(&value); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&value); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

// Starts the child and returns its pid, or nothing when it could not be started. glibc's
// posix_spawn reports a failed chdir or exec of the child as its own result, so "could not
// start" is known here rather than guessed from an exit status.
std::optional<pid_t> spawn(const std::string& program, const std::string& argumentText,
                           const std::string& workingDirectory) {
    const std::string line = commandLineText(program, argumentText);
    if (characterCount(line) > maxCommandLineLength) {
        throw GeneralError("Error: la línea de comandos del programa \"" + program +
                           "\" supera los " + std::to_string(maxCommandLineLength) + " caracteres");
    }

    // The child changes folder before exec, so a relative program path must be fixed first.
    std::error_code noCurrentFolder;
    const std::string absoluteProgram =
        std::filesystem::absolute(program, noCurrentFolder).string();
    if (noCurrentFolder) {
        return std::nullopt;
    }

    std::vector<std::string> words = splitCommandLineWords(argumentText);
    words.insert(words.begin(), program);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    FileActions actions;
    if (!workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions.value, workingDirectory.c_str());
    }
    // The station's own descriptors (sockets, pipes of the GUI) are not the child's business.
    posix_spawn_file_actions_addclosefrom_np(&actions.value, STDERR_FILENO + 1);

    SpawnAttributes attributes;
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaultSignals;
    sigemptyset(&defaultSignals);
    sigaddset(&defaultSignals, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes.value, &noSignals);
    posix_spawnattr_setsigdefault(&attributes.value, &defaultSignals);
    posix_spawnattr_setflags(&attributes.value, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    if (posix_spawn(&pid, absoluteProgram.c_str(), &actions.value, &attributes.value, argv.data(),
                    environ) != 0) {
        return std::nullopt;
    }
    return pid;
}

} // namespace

std::vector<std::string> splitCommandLineWords(const std::string& text) {
    std::vector<std::string> words;
    auto it = text.begin();
    while (it != text.end()) {
        it = std::find_if_not(it, text.end(), isBlank);
        auto end = std::find_if(it, text.end(), isBlank);
        if (it != end) {
            words.emplace_back(it, end);
        }
        it = end;
    }
    return words;
}

std::string commandLineText(const std::string& program, const std::string& argumentText) {
    return argumentText.empty() ? program : program + " " + argumentText;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_)
    , pidfd_(other.pidfd_)
    , reaped_(other.reaped_) {
    other.pidfd_ = -1;
    other.reaped_ = true;
}

ChildProcess::~ChildProcess() {
    if (pidfd_ >= 0) {
        ::close(pidfd_);
    }
    if (!reaped_ && !tryReap()) {
        reapInBackground(pid_);
    }
}

bool ChildProcess::tryReap() {
    pid_t result = 0;
    do {
        result = ::waitpid(pid_, nullptr, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) {
        return false;
    }
    // Reaped now, or not ours to wait for any more: either way there is nothing left to wait on.
    reaped_ = true;
    return true;
}

void ChildProcess::wait(const std::function<void()>& betweenWaits) {
    while (!tryReap()) {
        if (betweenWaits) {
            betweenWaits();
        }
        // A negative descriptor makes poll a plain timed sleep.
        pollfd ready{pidfd_, POLLIN, 0};
        ::poll(&ready, 1, waitSliceMs);
    }
}

std::optional<ChildProcess> startProgram(const std::string& program,
                                         const std::string& argumentText,
                                         const std::string& workingDirectory) {
    const std::optional<pid_t> pid = spawn(program, argumentText, workingDirectory);
    if (!pid) {
        return std::nullopt;
    }
    return std::optional<ChildProcess>(std::in_place, *pid, openPidfd(*pid));
}

bool startProgramDetached(const std::string& program, const std::string& argumentText,
                          const std::string& workingDirectory) {
    const std::optional<pid_t> pid = spawn(program, argumentText, workingDirectory);
    if (pid) {
        reapInBackground(*pid);
    }
    return pid.has_value();
}

} // namespace qv
