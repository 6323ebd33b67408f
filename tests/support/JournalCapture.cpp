#include "tests/support/JournalCapture.h"

#include <fcntl.h>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace qv::test {

JournalCapture::JournalCapture()
    : savedStandardError_(::dup(2)) {
    const int file = ::open(folder_.path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (savedStandardError_ < 0 || file < 0 || ::dup2(file, 2) < 0) {
        throw std::runtime_error("cannot capture standard error");
    }
    ::close(file);
}

JournalCapture::~JournalCapture() {
    ::dup2(savedStandardError_, 2);
    ::close(savedStandardError_);
}

std::vector<std::string> JournalCapture::lines() const {
    std::istringstream all(folder_.read("stderr"));
    std::vector<std::string> found;
    for (std::string line; std::getline(all, line);) {
        if (line.starts_with("time=")) {
            found.push_back(line);
        }
    }
    return found;
}

std::vector<std::string> JournalCapture::shapes() const {
    static const std::regex time("^time=\\S+ ");
    static const std::regex count("(_ms=)[0-9]+");
    std::vector<std::string> found;
    for (const auto& line : lines()) {
        found.push_back(std::regex_replace(std::regex_replace(line, time, ""), count, "$1N"));
    }
    return found;
}

} // namespace qv::test
