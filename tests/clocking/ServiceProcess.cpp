// The built development service run as a child process, alone or serving on loopback.

#include "tests/clocking/ServiceProcess.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace qv::test {

namespace {

// Every wait is bounded so a broken service cannot hang the suite.
constexpr int kWaitMs = 15'000;

struct Pipe {
    std::array<int, 2> fds{-1, -1};
    Pipe() {
        if (::pipe2(fds.data(), O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe2 failed");
        }
    }
    ~Pipe() {
        for (const int fd : fds) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    int take(int end) { return std::exchange(fds[static_cast<std::size_t>(end)], -1); }
};

pid_t spawn(const std::vector<std::string>& args, Pipe& out, Pipe& err) {
    std::vector<std::string> words{QV_CLOCKING_SERVICE_PATH};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.fds[1], STDERR_FILENO);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("cannot start " + words[0]);
    }
    ::close(out.take(1));
    ::close(err.take(1));
    return pid;
}

// Reads what is there within the wait; false at end of file or after the wait.
bool readSome(int fd, std::string& into) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, kWaitMs) != 1) {
        return false;
    }
    char buffer[4096];
    const auto n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        return false;
    }
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
}

// Waits for the child, which should have ended by now: one still running after the output's
// wait is killed, so a hung service fails the test instead of hanging the suite.
int exitStatus(pid_t pid) {
    int status = 0;
    for (int waited = 0;; waited += 50) {
        const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
        if (reaped == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (reaped < 0 && errno != EINTR) {
            return -1;
        }
        if (waited == kWaitMs) {
            ::kill(pid, SIGKILL);
        }
        pollfd none{-1, 0, 0};
        ::poll(&none, 1, 50);
    }
}

} // namespace

CommandRun runClockingService(const std::vector<std::string>& args) {
    return runAndCapture(QV_CLOCKING_SERVICE_PATH, args);
}

ServiceProcess::ServiceProcess(const std::filesystem::path& database, const std::string& host)
    : host_(host) {
    Pipe out; // standard output and error both, in the order printed
    pid_ = spawn({"--db", database.string(), "serve", "--listen", host + ":0"}, out, out);
    stdout_ = out.take(0);
    const std::string listening = "listening on http://" + host + ":";
    std::size_t at = std::string::npos;
    while ((at = printed_.find(listening)) == std::string::npos ||
           printed_.find('/', at + listening.size()) == std::string::npos) {
        if (!readSome(stdout_, printed_)) {
            const CommandRun ended = stop();
            throw std::runtime_error("the clocking service did not start: " + ended.out);
        }
    }
    port_ = std::stoi(printed_.substr(at + listening.size()));
}

ServiceProcess::~ServiceProcess() {
    if (pid_ > 0) {
        stop();
    }
}

std::string ServiceProcess::url(const std::string& path) const {
    return "http://" + host_ + ":" + std::to_string(port_) + path;
}

CommandRun ServiceProcess::stop() {
    CommandRun run;
    ::kill(pid_, SIGTERM);
    while (readSome(stdout_, printed_)) {
    }
    ::close(stdout_);
    run.exitCode = exitStatus(pid_);
    run.out = printed_;
    pid_ = -1;
    return run;
}

} // namespace qv::test
