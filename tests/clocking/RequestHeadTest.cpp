// A request head judged as its bytes arrive: whole, wanting more, or refused as soon as it
// shows what is wrong.

#include "tools/clocking-service/RequestHead.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

using clocking::HeadVerdict;
using clocking::judgeHead;

constexpr char kSound[] = "POST /QuorvantisService.asmx?a=1&b=2 HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                          "Content-Length: 12\r\n\r\nbody follows";

TEST(RequestHeadTest, EveryPartOfASoundHeadWaitsForTheRest) {
    const std::string sound = kSound;
    const std::size_t end = sound.find("\r\n\r\n") + 4;
    for (std::size_t cut = 0; cut < end; ++cut) {
        EXPECT_EQ(judgeHead(sound.substr(0, cut)).kind, HeadVerdict::Kind::Incomplete) << cut;
    }
    EXPECT_EQ(judgeHead(sound).kind, HeadVerdict::Kind::Complete);
}

TEST(RequestHeadTest, FaultsAreRefusedAsSoonAsTheyShow) {
    clocking::HeadLimits small;
    small.maxBytes = 256;
    small.maxTarget = 64;
    small.maxArguments = 3;
    struct Case {
        const char* what;
        std::string received;
        int status; // 0: still incomplete
    };
    const std::vector<Case> cases{
        {"bare LF in the request line", "GET / HTTP/1.1\nHost", 400},
        {"bare CR", "GET / HTTP/1.1\r\nHost: a\rX: 1", 400},
        {"CR as the last byte so far", "GET / HTTP/1.1\r\nHost: a\r", 0},
        {"folded with a space", "GET / HTTP/1.1\r\nX: 1\r\n more\r\n", 400},
        {"folded with a tab", "GET / HTTP/1.1\r\nX: 1\r\n\tmore\r\n", 400},
        {"two lengths, any case", "GET / HTTP/1.1\r\ncontent-length: 1\r\nCONTENT-LENGTH: 1\r\n",
         400},
        {"two codings", "GET / HTTP/1.1\r\nTransfer-Encoding: a\r\nTransfer-Encoding: b\r\n", 400},
        {"a length and a coding", "GET / HTTP/1.1\r\nContent-Length: 1\r\nTransfer-Encoding: b\r\n",
         0}, // one of each is the endpoint's to refuse, with its own reason
        {"no target", "GET\r\n", 400},
        {"target over the limit", "GET /" + std::string(64, 'a') + " HTTP/1.1\r\n", 414},
        {"target over the limit, unfinished", "GET /" + std::string(200, 'a'), 414},
        {"arguments over the limit", "GET /?a&b&c&d HTTP/1.1\r\n", 414},
        {"arguments at the limit", "GET /?a&b&c HTTP/1.1\r\n", 0},
        {"head over the limit", "GET / HTTP/1.1\r\n" + std::string(300, 'X'), 431},
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
