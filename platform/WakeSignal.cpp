#include "platform/WakeSignal.h"

#include "platform/Errors.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>

namespace qv {

WakeSignal::WakeSignal()
    : descriptor_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (descriptor_ < 0) {
        throw GeneralError(std::string("Cannot create a wake-up signal: ") + std::strerror(errno));
    }
}

WakeSignal::~WakeSignal() {
    ::close(descriptor_);
}

void WakeSignal::raise() const {
    const std::uint64_t one = 1;
    // Only a counter at its limit refuses the write, and that is raised already.
    [[maybe_unused]] const ssize_t written = ::write(descriptor_, &one, sizeof(one));
}

void WakeSignal::reset() const {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(descriptor_, &count, sizeof(count));
}

} // namespace qv
