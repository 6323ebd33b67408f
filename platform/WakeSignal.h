#pragma once

namespace qv {

// A wake-up one thread sends and another waits for through a file descriptor an event loop can
// watch. Raising it several times before it is reset counts once.
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Any thread; never blocks.
    void raise() const;
    // Clears it; the descriptor is then no longer readable.
    void reset() const;
    int descriptor() const { return descriptor_; }

private:
    int descriptor_;
};

} // namespace qv
