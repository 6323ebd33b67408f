#pragma once

#include "tests/support/TempFolder.h"

#include <string>
#include <vector>

namespace qv::test {

// Standard error sent to a file while this lives, so a test reads the journal lines the code
// under test wrote, exactly as an operator would see them.
class JournalCapture {
public:
    JournalCapture();
    ~JournalCapture();
    JournalCapture(const JournalCapture&) = delete;
    JournalCapture& operator=(const JournalCapture&) = delete;

    // The journal lines written so far (those starting with time=), without other output such as
    // Qt's warnings.
    std::vector<std::string> lines() const;
    // The same without the time word and with every count of milliseconds written N, for
    // comparing with a line a test expects.
    std::vector<std::string> shapes() const;

private:
    TempFolder folder_;
    int savedStandardError_;
};

} // namespace qv::test
