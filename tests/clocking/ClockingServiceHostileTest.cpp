// The real service on an ephemeral port under requests meant to hurt it: oversized bodies
// however framed, slow and numerous connections, identifiers no station sends, foreign Host
// names, a bind that is not loopback.

#include "tests/clocking/ClockingTestSupport.h"
#include "tests/clocking/RawConnection.h"
#include "tests/support/TempFolder.h"
#include "tools/clocking-service/Ledger.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pugixml.hpp>
#include <thread>

namespace qv::test {
namespace {

using clocking::Database;

// The service's peak resident memory so far, from /proc.
long peakMemoryKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

std::string head(const std::string& method, const std::string& path, const std::string& headers) {
    return method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers +
           "\r\n";
}

const std::string kEndpoint = "/QuorvantisService.asmx";
constexpr std::size_t kHugeBody = 64 * 1024 * 1024;

// A non-loopback IPv4 address of this machine, or "".
std::string outsideAddress() {
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) {
        return "";
    }
    std::string found;
    for (const ifaddrs* it = all; it && found.empty(); it = it->ifa_next) {
        if (it->ifa_addr && it->ifa_addr->sa_family == AF_INET && (it->ifa_flags & IFF_UP) &&
            !(it->ifa_flags & IFF_LOOPBACK)) {
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr,
                        text, sizeof text);
            found = text;
        }
    }
    ::freeifaddrs(all);
    return found;
}

class ClockingServiceHostileTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::filesystem::path db = std::filesystem::path(folder.path("ledger.db"));
};

TEST_F(ClockingServiceHostileTest, HostileRequestsAreRefusedAndMemoryStaysBounded) {
    ServiceProcess service(db);
    const std::string print = base64Text(testPrint());
    const std::string action = "SOAPAction: " + stationSoapAction() + "\r\n";
    const auto soap = [&](const std::string& body) {
        return head("POST", kEndpoint,
                    action + "Content-Type: text/xml\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n") +
               body;
    };
    // The station refuses to send it; a hand-written caller may.
    std::string controlCharacter = stationRequest("x-y", print, "I");
    controlCharacter.replace(controlCharacter.find("x-y"), 3, "x&#1;y");
    struct Case {
        const char* what;
        std::string request; // head and any body to send at once
        std::size_t filler;  // bytes of body sent after it, as the service takes them
        bool unframed;       // the body ends where sending ends
        int status;
        const char* replyPart; // in the reply's body
        bool recorded;
    };
    const std::vector<Case> cases{
        {"chunked body without end",
         head("POST", kEndpoint, action + "Transfer-Encoding: chunked\r\n") + "4000000\r\n",
         kHugeBody, false, 500, "larger than the 16777216 bytes", true},
        {"body without length", head("POST", kEndpoint, action), kHugeBody, true, 500,
         "larger than the 16777216 bytes", true},
        {"declared oversized body",
         head("POST", kEndpoint, action + "Content-Length: 67108864\r\n"), kHugeBody, false, 500,
         "larger than the 16777216 bytes", true},
        {"chunked body elsewhere",
         head("POST", "/upload", "Transfer-Encoding: chunked\r\n") + "4000000\r\n", kHugeBody,
         false, 405, "Only SOAP requests", false},
        {"form without SOAPAction",
         head("POST", kEndpoint,
              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 7\r\n") +
             "a=1&b=2",
         0, false, 500, "Unknown SOAPAction", true},
        {"form elsewhere",
         head("POST", "/",
              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\n") +
             "a=1",
         0, false, 405, "Only SOAP requests", false},
        {"long identifier", soap(stationRequest(std::string(200, '7'), print, "I")), 0, false, 500,
         "AppId is 200 bytes long", true},
        {"control character", soap(controlCharacter), 0, false, 500, "control characters", true},
        {"foreign Host for the page", "GET / HTTP/1.1\r\nHost: rebound.example:21796\r\n\r\n", 0,
         false, 403, "loopback names only", false},
        {"foreign Host for SOAP",
         "POST /QuorvantisService.asmx HTTP/1.1\r\nHost: rebound.example\r\n" + action +
             "Content-Length: 0\r\n\r\n",
         0, false, 403, "loopback names only", false},
        {"missing picture", head("GET", "/entries/999/photo.jpg", ""), 0, false, 404,
         "No such picture", false},
    };
    const long memoryBefore = peakMemoryKiB(service.pid());
    std::size_t recorded = 0;
    for (const Case& c : cases) {
        RawConnection connection("127.0.0.1", service.port());
        ASSERT_TRUE(connection.send(c.request)) << c.what;
        connection.sendFiller(c.filler);
        if (c.unframed) {
            connection.finishSending();
        }
        const std::string reply = connection.readUntilClosed(15'000);
        EXPECT_EQ(statusOf(reply), c.status) << c.what << ": " << reply.substr(0, 300);
        EXPECT_NE(bodyOf(reply).find(c.replyPart), std::string::npos) << c.what << ": " << reply;
        if (c.status != 500) {
            EXPECT_EQ(bodyOf(reply).find("Envelope"), std::string::npos) << c.what;
        }
        pugi::xml_document parsed;
        if (c.status == 500) {
            // XML 1.0 without a character it forbids: a strict reader takes it.
            EXPECT_TRUE(parsed.load_string(bodyOf(reply).c_str())) << c.what;
            EXPECT_EQ(bodyOf(reply).find("&#"), std::string::npos) << c.what;
        }
        recorded += c.recorded ? 1 : 0;
    }
    // The page is the service's own document, never sniffed or scripted into another.
    RawConnection page("127.0.0.1", service.port());
    ASSERT_TRUE(page.send(head("GET", "/", "")));
    const std::string pageReply = page.readUntilClosed(15'000);
    EXPECT_EQ(statusOf(pageReply), 200);
    EXPECT_NE(pageReply.find("X-Content-Type-Options: nosniff"), std::string::npos);
    EXPECT_NE(pageReply.find("Content-Security-Policy: default-src 'none'"), std::string::npos);

    // Three bodies of 64 MiB went by; reading any of them whole would show here. The sanitizers'
    // shadow memory and held-back frees make the figure say nothing in their builds.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(peakMemoryKiB(service.pid()) - memoryBefore, 48 * 1024);
#else
    (void)memoryBefore;
#endif

    Database store(db);
    const auto lines = clocking::latestEntries(store, 100);
    ASSERT_EQ(lines.size(), recorded);
    const auto& longOne = lines[1].entry; // newest first: the control character, then this
    ASSERT_TRUE(longOne.appId);
    EXPECT_LE(longOne.appId->size(), 128u + 3u) << "kept cut, not whole";
}

TEST_F(ClockingServiceHostileTest, SlowAndNumerousClientsDoNotStopTheService) {
    ServiceProcess service(db);
    // More than one address may hold at once: the last few are turned away.
    constexpr int kSlow = 20;
    std::vector<std::unique_ptr<RawConnection>> slow;
    for (int i = 0; i < kSlow; ++i) {
        slow.push_back(std::make_unique<RawConnection>("127.0.0.1", service.port()));
        ASSERT_TRUE(slow.back()->send("POST " + kEndpoint + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
    }
    // The first one's head is whole: its body is what trickles.
    ASSERT_TRUE(slow.front()->send("Content-Length: 100000\r\n\r\n"));
    std::atomic<bool> done{false};
    std::jthread trickle([&] {
        while (!done) {
            for (auto& connection : slow) {
                connection->send("X-Slow: 1\r\n");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });

    // A station elsewhere on the network (another loopback address) clocks in meanwhile.
    const std::string body = stationRequest("20123456", base64Text(testPrint()), "I");
    const auto started = std::chrono::steady_clock::now();
    RawConnection station("127.0.0.1", service.port(), "127.0.0.2");
    ASSERT_TRUE(station.send(head("POST", kEndpoint,
                                  "SOAPAction: " + stationSoapAction() + "\r\nContent-Length: " +
                                      std::to_string(body.size()) + "\r\n") +
                             body));
    const std::string reply = station.readUntilClosed();
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(statusOf(reply), 200) << reply;
    EXPECT_NE(reply.find("Usuario no registrado: 20123456"), std::string::npos);
    // Only a station queued behind the slow clients would wait this long.
    EXPECT_LT(waited, std::chrono::seconds(8));

    // Every slow client is let go, by its deadline or at once when over the address's share.
    done = true;
    trickle.join();
    int turnedAway = 0;
    for (auto& connection : slow) {
        const std::string rest = connection->readUntilClosed(30'000);
        turnedAway += statusOf(rest) == 503 ? 1 : 0;
        if (connection == slow.front()) {
            EXPECT_EQ(statusOf(rest), 408) << rest;
        }
        EXPECT_TRUE(connection->closedByService(1'000));
    }
    EXPECT_EQ(turnedAway, kSlow - 16);
    // Only the station's request arrived; the cut-off ones are not clock-ins.
    Database store(db);
    EXPECT_EQ(clocking::latestEntries(store, 100).size(), 1u);
}

TEST_F(ClockingServiceHostileTest, ThePageNeedsTheTokenOnlyOffLoopback) {
    const std::string outside = outsideAddress();
    if (outside.empty()) {
        GTEST_SKIP() << "this machine has no address outside loopback to bind to";
    }
    const std::string print = base64Text(testPrint());
    struct Case {
        std::string host;
        bool tokenRule;
    };
    for (const Case& c : {Case{"127.0.0.2", false}, Case{outside, true}}) {
        ServiceProcess service(std::filesystem::path(folder.path(c.host + ".db")), c.host);
        const auto at = service.banner().find("?token=");
        ASSERT_EQ(at != std::string::npos, c.tokenRule) << service.banner();
        const std::string token =
            c.tokenRule ? service.banner().substr(at + 7, service.banner().find('\n', at) - at - 7)
                        : "";
        // SOAP and the WSDL never need it: stations do not send one.
        EXPECT_EQ(post(service, stationRequest("1", print, "I"), stationSoapAction()).status, 200);
        EXPECT_EQ(get(service, "/QuorvantisService.asmx?WSDL").status, 200);
        EXPECT_EQ(get(service, "/").status, c.tokenRule ? 403 : 200) << c.host;
        EXPECT_EQ(get(service, "/entries/1/print.jpg").status, c.tokenRule ? 403 : 200);
        if (c.tokenRule) {
            EXPECT_EQ(get(service, "/?token=wrong").status, 403);
            const HttpReply page = get(service, "/?token=" + token);
            EXPECT_EQ(page.status, 200);
            // The page's pictures carry it, so that they load.
            EXPECT_NE(page.body.find("/entries/1/print.jpg?token=" + token), std::string::npos);
            EXPECT_EQ(get(service, "/entries/1/print.jpg?token=" + token).status, 200);
        }
    }
}

} // namespace
} // namespace qv::test
