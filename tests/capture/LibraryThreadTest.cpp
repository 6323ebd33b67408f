// The scanner library's own thread, from its core: it must go whenever it is told to.

#include "libs/scanman/src/LibraryThread.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

// Destroyed at once, maybe before its loop runs: a quit told that early must still end it. The
// CTest entry's time limit catches the hang.
TEST(LibraryThread, EndsEvenWhenToldBeforeItsLoopRuns) {
    for (int round = 0; round < 200; ++round) {
        scanman::LibraryThread thread;
    }
}

} // namespace
} // namespace qv
