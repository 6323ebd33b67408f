#include "tests/app/AppTests.h"

namespace qv::test {

std::vector<SuiteFactory>& appTestSuites() {
    static std::vector<SuiteFactory> suites;
    return suites;
}

} // namespace qv::test
