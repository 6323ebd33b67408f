#include "tests/support/BackgroundChild.h"

#include "tests/support/FileContents.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qv::test {

namespace {

constexpr auto kStopPatience = std::chrono::seconds(15);

int statusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

} // namespace

BackgroundChild::BackgroundChild(const std::string& program,
                                 const std::vector<std::string>& arguments, std::string logFile)
    : logFile_(std::move(logFile)) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile_.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int failed = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + program);
    }
}

BackgroundChild::~BackgroundChild() {
    stop();
}

bool BackgroundChild::hasEnded() {
    int waitStatus = 0;
    if (pid_ > 0 && ::waitpid(pid_, &waitStatus, WNOHANG) == pid_) {
        status_ = statusOf(waitStatus);
        pid_ = -1;
    }
    return pid_ <= 0;
}

std::string BackgroundChild::output() const {
    return readFile(logFile_);
}

int BackgroundChild::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopPatience;
        while (!hasEnded()) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(pid_, SIGKILL);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return status_;
}

} // namespace qv::test
