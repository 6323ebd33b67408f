#include "tests/support/JournalCapture.h"

#include <fcntl.h>
#include <sstream>
#include <stdexcept>
#include <string_view>
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

namespace {

// The line without its time word, each step's milliseconds written as N: what stays the same
// from one run to the next.
std::string shapeOf(const std::string& line) {
    std::string shape = line.substr(line.find(' ') + 1);
    static constexpr std::string_view kCountSuffix = "_ms=";
    for (std::size_t at = shape.find(kCountSuffix); at != std::string::npos;
         at = shape.find(kCountSuffix, at + 1)) {
        const std::size_t digits = at + kCountSuffix.size();
        std::size_t end = digits;
        while (end < shape.size() && shape[end] >= '0' && shape[end] <= '9') {
            ++end;
        }
        if (end > digits) {
            shape.replace(digits, end - digits, "N");
        }
    }
    return shape;
}

} // namespace

std::vector<std::string> JournalCapture::shapes() const {
    std::vector<std::string> found;
    for (const auto& line : lines()) {
        found.push_back(shapeOf(line));
    }
    return found;
}

} // namespace qv::test
