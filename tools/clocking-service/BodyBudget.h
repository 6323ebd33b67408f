// The bytes all connections may hold in request bodies at once.

#pragma once

#include <cstddef>
#include <mutex>

namespace qv::clocking {

// Shared by every connection: a body is read only when its bytes fit in what is left, so
// that many large requests at once wait their turn instead of exhausting memory. An eighth is
// kept for bodies of a clock-in's size, so that large ones cannot crowd out the stations. When
// the bodies held fall to none after large ones, the heap gives its free memory back.
class BodyBudget {
public:
    explicit BodyBudget(std::size_t limit)
        : limit_(limit) {}

    std::size_t limit() const { return limit_; }
    // Takes the bytes when they fit in what is left; false, taking nothing, when they do not.
    bool take(std::size_t bytes);
    void giveBack(std::size_t bytes);

private:
    const std::size_t limit_;
    std::mutex mutex_;
    std::size_t held_ = 0; // never more than limit_
    std::size_t givenSinceTrim_ = 0;
};

} // namespace qv::clocking
