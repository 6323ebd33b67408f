// The built PIN checker, started the way its socket unit starts it.

#include "tests/pinchecker/PinCheckerProcess.h"

#include "platform/OperatorPin.h"
#include "tests/support/Eventually.h"

#include <array>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace qv::test {

PinCheckerProcess::PinCheckerProcess() {
    constexpr std::array<unsigned char, 4> salt{9, 8, 7, 6};
    folder.writeFile("operator-pin", hashOperatorPin(kRightPin, salt, 1000) + "\n");
    start();
}

PinCheckerProcess::~PinCheckerProcess() {
    stop();
}

void PinCheckerProcess::start() {
    std::vector<std::string> words{"systemd-socket-activate", "--listen=" + socketPath(),
                                   QV_KIOSK_PIN_CHECKER_PATH, "--pin-file=" + pinFile(),
                                   "--lockout-file=" + lockoutFile()};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const std::string log = folder.path("checker.log");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        posix_spawn_file_actions_addopen(&actions, fd, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
    }
    const int failed = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("cannot start systemd-socket-activate");
    }
    if (!eventually([this] { return ask("").answer != PinAnswer::Unavailable; })) {
        throw std::runtime_error("the PIN checker does not answer: " + this->log());
    }
}

void PinCheckerProcess::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::filesystem::remove(socketPath());
}

PinVerdict PinCheckerProcess::ask(std::string_view pin) const {
    return askOperatorPinChecker(socketPath(), pin, std::chrono::seconds(10));
}

} // namespace qv::test
