#pragma once

// Pieces of /bin/sh scripts for TempFolder::writeScript, which puts the folder's prefix in
// place of RECORD.

namespace qv::test {

// Records every argument on a line of its own in RECORDargs and the folder it runs in in
// RECORDcwd.
inline constexpr const char* kRecorder =
    "pwd > \"RECORDcwd\"\n"
    "for a in \"$@\"; do echo \"[$a]\"; done > \"RECORDargs\"\n";

// Holds the script until the test creates RECORDgo (or a generous bound of about ten seconds
// passes, so a failing test cannot leave a process behind for long).
inline constexpr const char* kWaitForGo = "i=0\n"
                                          "while [ ! -e \"RECORDgo\" ] && [ $i -lt 1000 ]; do\n"
                                          "    sleep 0.01; i=$((i+1))\n"
                                          "done\n";

} // namespace qv::test
