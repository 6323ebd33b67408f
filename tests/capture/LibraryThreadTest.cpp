// The scanner library's own thread, from its core: it must go whenever it is told to.

#include "libs/scanman/src/LibraryThread.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

// Its destructor comes at once after the constructor: the loop may not be running yet, and
// a quit that comes before the loop runs would leave it running for good. The CTest entry's
// time limit catches the hang.
TEST(LibraryThread, EndsEvenWhenToldBeforeItsLoopRuns) {
    for (int round = 0; round < 200; ++round) {
        scanman::LibraryThread thread;
    }
}

} // namespace
} // namespace qv
