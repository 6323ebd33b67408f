// A request head judged as its bytes arrive. The faults the service answers for are rows of the
// hostile table; here are what a whole request cannot show: a head cut anywhere, a fault that
// shows before its line ends, and the limits' edges.

#include "tools/clocking-service/RequestHead.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

using clocking::HeadVerdict;
using clocking::judgeHead;

TEST(RequestHeadTest, HeadsAreJudgedAsTheirBytesArrive) {
    const std::string sound = "POST /QuorvantisService.asmx?a=1&b=2 HTTP/1.1\r\nHost: 127.0.0.1"
                              "\r\nContent-Length: 12\r\n\r\nbody follows";
    const std::size_t end = sound.find("\r\n\r\n") + 4;
    for (std::size_t cut = 0; cut < end; ++cut) {
        EXPECT_EQ(judgeHead(sound.substr(0, cut)).kind, HeadVerdict::Kind::Incomplete) << cut;
    }
    EXPECT_EQ(judgeHead(sound).kind, HeadVerdict::Kind::Complete);

    clocking::HeadLimits small;
    small.maxTarget = 64;
    small.maxArguments = 3;
    struct Case {
        const char* what;
        std::string received;
        int status; // 0: still incomplete
    };
    const std::vector<Case> cases{
        {"folded with a tab", "GET / HTTP/1.1\r\nX: 1\r\n\tmore\r\n", 400},
        {"no target", "GET\r\n", 400},
        {"target over the limit, unfinished", "GET /" + std::string(200, 'a'), 414},
        {"arguments over the limit", "GET /?a&b&c&d HTTP/1.1\r\n", 414},
        {"arguments at the limit", "GET /?a&b&c HTTP/1.1\r\n", 0},
    };
    for (const Case& c : cases) {
        const HeadVerdict verdict = judgeHead(c.received, small);
        EXPECT_EQ(verdict.kind,
                  c.status ? HeadVerdict::Kind::Refused : HeadVerdict::Kind::Incomplete)
            << c.what;
        EXPECT_EQ(verdict.status, c.status) << c.what << ": " << verdict.reason;
    }
}

} // namespace
} // namespace qv::test
