#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qv::test {

struct ChildRunOptions {
    // The folder the child starts in; empty keeps the test's own.
    std::string workingFolder;
    // Variables set (or replaced) in the child's environment on top of the test's.
    std::vector<std::pair<std::string, std::string>> environment;
    // Standard error joins standard output, in the order the child wrote them.
    bool errorIntoOutput = false;
};

struct ChildOutcome {
    // The exit status, or -1 when the child was killed by a signal or could not start.
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs program (looked up on PATH when it has no "/") with these arguments (no shell: nothing is
// split or expanded), gathers what it writes on its standard output and error, and waits for it to
// end. Its standard input is empty.
ChildOutcome runAndCapture(const std::string& program, const std::vector<std::string>& arguments,
                           const ChildRunOptions& options = {});

// The words of a text separated by blanks, for tests whose arguments are their own paths and
// words and need no quoting.
std::vector<std::string> blankSeparated(const std::string& text);

} // namespace qv::test
