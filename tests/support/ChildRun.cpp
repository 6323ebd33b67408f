#include "tests/support/ChildRun.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qv::test {
namespace {

// Both ends of a pipe, closed when the object goes.
class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_.data(), O_CLOEXEC) != 0) {
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeRead() { closeEnd(fds_[0]); }
    void closeWrite() { closeEnd(fds_[1]); }

private:
    static void closeEnd(int& fd) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    std::array<int, 2> fds_{-1, -1};
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// The test's environment with the given variables replaced or added, as "NAME=value" texts.
std::vector<std::string>
childEnvironment(const std::vector<std::pair<std::string, std::string>>& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& change : changes) {
            replaced = replaced || change.first == name;
        }
        if (!replaced) {
            result.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        result.push_back(name + "=" + value);
    }
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Reads both pipes until the child has closed them, so neither can fill up and stall it.
void drain(Pipe& out, Pipe* err, ChildOutcome& outcome) {
    std::vector<pollfd> fds{{out.readEnd(), POLLIN, 0}};
    if (err) {
        fds.push_back({err->readEnd(), POLLIN, 0});
    }
    std::array<char, 4096> buffer{};
    std::size_t open = fds.size();
    while (open > 0) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
            if (n > 0) {
                (i == 0 ? outcome.out : outcome.err).append(buffer.data(), std::size_t(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

} // namespace

ChildOutcome runAndCapture(const std::string& program, const std::vector<std::string>& arguments,
                           const ChildRunOptions& options) {
    Pipe out;
    Pipe err;
    SpawnActions actions;
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), out.writeEnd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(
        actions.get(), options.errorIntoOutput ? out.writeEnd() : err.writeEnd(), STDERR_FILENO);
    if (!options.workingFolder.empty()) {
        posix_spawn_file_actions_addchdir_np(actions.get(), options.workingFolder.c_str());
    }

    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp = childEnvironment(options.environment);
    const std::vector<char*> argvPointers = pointersTo(argv);
    const std::vector<char*> envpPointers = pointersTo(envp);

    ChildOutcome outcome;
    pid_t pid = 0;
    const int failure = ::posix_spawnp(&pid, program.c_str(), actions.get(), nullptr,
                                       argvPointers.data(), envpPointers.data());
    if (failure != 0) {
        outcome.err = "cannot start " + program + ": " + std::strerror(failure);
        return outcome;
    }
    out.closeWrite();
    err.closeWrite();
    drain(out, options.errorIntoOutput ? nullptr : &err, outcome);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

std::vector<std::string> blankSeparated(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

} // namespace qv::test
