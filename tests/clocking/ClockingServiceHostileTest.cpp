// The real service on an ephemeral port under requests meant to hurt it: oversized heads and
// bodies however framed, slow, numerous and pipelined connections, costly XML, texts no strict
// reader takes, foreign Host names, a bind that is not loopback.

#include "tests/clocking/ClockingTestSupport.h"
#include "tests/clocking/RawConnection.h"
#include "tests/support/TempFolder.h"
#include "tools/clocking-service/DisplayText.h"
#include "tools/clocking-service/Ledger.h"

#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pugixml.hpp>
#include <thread>

namespace qv::test {
namespace {

using clocking::Database;

// `piece` repeated to at least `size` bytes.
std::string repeated(const std::string& piece, std::size_t size) {
    std::string text;
    while (text.size() < size) {
        text += piece;
    }
    return text;
}

const std::string kEndpoint = "/QuorvantisService.asmx";
constexpr std::size_t kHugeBody = 64 * 1024 * 1024;
constexpr std::size_t kLargeBody = 1024 * 1024;

// A SOAP request to the endpoint, `extra` header lines in its head.
std::string soap(const std::string& body, const std::string& soapAction = stationSoapAction(),
                 const std::string& extra = "") {
    return requestHead("POST", kEndpoint,
                       extra + "SOAPAction: " + soapAction +
                           "\r\nContent-Type: text/xml\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\n") +
           body;
}

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
    // As written into the request's text, where the station would have escaped it.
    const auto withAppId = [&](const std::string& appIdText) {
        std::string body = stationRequest("APP-ID", print, "I");
        return soap(body.replace(body.find("APP-ID"), 6, appIdText));
    };
    std::string foreignNamespace = stationRequest("1", print, "I");
    foreignNamespace.replace(foreignNamespace.find("http://quorvantis.example/"), 26,
                             "urn:\x01\xff" + std::string(5000, 'n'));
    std::string nulInPrint = stationRequest("1", print, "I");
    nulInPrint.insert(nulInPrint.find(print) + 40, "&#0;");
    std::string nulInModo = stationRequest("1", print, "I");
    nulInModo.insert(nulInModo.find(">I<", nulInModo.find(print) + print.size()) + 2, "&#0;junk");
    struct Case {
        const char* what;
        std::string request; // head and any body to send at once
        std::size_t filler;  // bytes of body sent after it, as the service takes them
        bool unframed;       // the body ends where sending ends
        int status;
        const char* replyPart; // in the reply's body
        bool recorded;
        const char* pattern = "A"; // what the filler repeats
    };
    const std::vector<Case> cases{
        {"header lines without end", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n", kHugeBody, false, 431,
         "", false, "a:b\r\n"},
        {"one header line without end", "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Long: ", kHugeBody,
         false, 431, "", false},
        {"chunked body without end",
         requestHead("POST", kEndpoint, action + "Transfer-Encoding: chunked\r\n") + "4000000\r\n",
         kHugeBody, false, 0, "", true}, // cut without an answer
        {"body without length", requestHead("POST", kEndpoint, action), kHugeBody, true, 411,
         "must give its length", true},
        {"body without length elsewhere", requestHead("PUT", "/", ""), kHugeBody, true, 411,
         "must give its length", false},
        {"transfer coding other than chunks",
         requestHead("POST", kEndpoint, action + "Transfer-Encoding: gzip\r\n"), kHugeBody, true,
         400, "framed by Content-Length", false},
        {"length and chunks at once",
         requestHead("POST", kEndpoint,
                     action + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n"),
         kHugeBody, false, 400, "framed by Content-Length", false},
        {"declared oversized body",
         requestHead("POST", kEndpoint, action + "Content-Length: 67108864\r\n"), kHugeBody, false,
         500, "larger than the 16777216 bytes", true},
        {"oversized body asking to continue",
         requestHead("POST", kEndpoint,
                     action + "Expect: 100-continue\r\nContent-Length: 67108864\r\n"),
         0, false, 500, "larger than the 16777216 bytes", true},
        {"chunked body elsewhere",
         requestHead("POST", "/upload", "Transfer-Encoding: chunked\r\n") + "4000000\r\n",
         kHugeBody, false, 405, "Only SOAP requests", false},
        {"form without SOAPAction",
         requestHead("POST", kEndpoint,
                     "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 7\r\n") +
             "a=1&b=2",
         0, false, 500, "Unknown SOAPAction", true},
        {"form elsewhere",
         requestHead("POST", "/",
                     "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\n") +
             "a=1",
         0, false, 405, "Only SOAP requests", false},
        {"long identifier", withAppId(std::string(200, '7')), 0, false, 500,
         "AppId is 200 bytes long", true},
        {"control character", withAppId("x&#1;y\x1b"), 0, false, 500, "does not allow", true},
        {"raw control character", withAppId("xy\x1b"), 0, false, 500, "control character", true},
        {"bidirectional control",
         withAppId("12\xe2\x80\xae"
                   "34"),
         0, false, 500, "control characters", true},
        {"invisible character",
         withAppId("12\xe2\x80\x8b"
                   "34"),
         0, false, 500, "control characters", true},
        // The parser ends a text at a NUL: a field must not be read as the part before it.
        {"NUL in AppId", withAppId("30111222&#0;junk"), 0, false, 500, "(&amp;#0;)", true},
        {"NUL in hexadecimal", withAppId("30111222&#x0;"), 0, false, 500, "does not allow", true},
        {"NUL in modo", soap(nulInModo), 0, false, 500, "does not allow", true},
        {"NUL in the print", soap(nulInPrint), 0, false, 500, "does not allow", true},
        {"raw NUL", withAppId(std::string("30111222\0junk", 13)), 0, false, 500,
         "control character 0", true},
        {"overlong form", withAppId("a\xc0\xaf"), 0, false, 500, "not UTF-8", true},
        {"surrogate", withAppId("a\xed\xa0\x80"), 0, false, 500, "not UTF-8", true},
        {"above U+10FFFF", withAppId("a\xf4\x90\x80\x80"), 0, false, 500, "not UTF-8", true},
        {"noncharacter", withAppId("a&#xFFFE;"), 0, false, 500, "does not allow", true},
        {"noncharacter written", withAppId("a\xef\xbf\xbe"), 0, false, 500, "not UTF-8", true},
        {"long modo", soap(stationRequest("1", print, std::string(100'000, 'M'))), 0, false, 500,
         "modo must be", true},
        {"SOAPAction no reader takes",
         soap(stationRequest("1", print, "I"), "\xc0\xaf\xfe\xff" + std::string(10'000, 'S')), 0,
         false, 500, "Unknown SOAPAction", true},
        {"namespace no reader takes", soap(foreignNamespace), 0, false, 500, "control character 1",
         true},
        // Far more markup than a request needs, in the shapes that cost a parser most.
        {"attributes on the Envelope",
         soap("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"" +
              repeated(" xmlns:abbbbbbbb=\"u\"", kLargeBody) + "><s:Body/></s:Envelope>"),
         0, false, 500, "tags and attributes", true},
        {"elements in elements", soap(repeated("<a>", kLargeBody)), 0, false, 500,
         "tags and attributes", true},
        {"many ranges",
         requestHead("GET", kEndpoint + "?WSDL", "Range: bytes=" + repeated("-,", 8000) + "\r\n"),
         0, false, 200, "wsdl:definitions", false},
        {"foreign Host for the page", "GET / HTTP/1.1\r\nHost: rebound.example:21796\r\n\r\n", 0,
         false, 403, "loopback names only", false},
        {"foreign Host for SOAP",
         "POST /QuorvantisService.asmx HTTP/1.1\r\nHost: rebound.example\r\n" + action +
             "Content-Length: 0\r\n\r\n",
         0, false, 403, "loopback names only", false},
        {"missing picture", requestHead("GET", "/entries/999/photo.jpg", ""), 0, false, 404,
         "No such picture", false},
        // Framing a proxy in front could read otherwise than the service does.
        {"two lengths",
         requestHead("POST", kEndpoint, action + "content-length: 3\r\nContent-Length: 40\r\n") +
             "abc",
         0, false, 400, "Content-Length more than once", false},
        {"two transfer codings",
         requestHead("POST", kEndpoint,
                     action + "Transfer-Encoding: chunked\r\nTransfer-Encoding: identity\r\n") +
             "0\r\n\r\n",
         0, false, 400, "Transfer-Encoding more than once", false},
        {"bare LF", "GET / HTTP/1.1\nHost: 127.0.0.1\nConnection: close\n\n", 0, false, 400,
         "without CR LF", false},
        {"bare CR", "GET / HTTP/1.1\r\nHost: 127.0.0.1\rX-A: 1\r\nConnection: close\r\n\r\n", 0,
         false, 400, "without CR LF", false},
        {"folded header", requestHead("GET", "/", "X-A: 1\r\n folded\r\n"), 0, false, 400, "folded",
         false},
        {"too many query arguments", requestHead("GET", "/?" + repeated("a=1&", 4000), ""), 0,
         false, 414, "arguments", false},
        {"too long a target", requestHead("GET", "/" + std::string(9000, 'a'), ""), 0, false, 414,
         "longer than 8192", false},
        {"post from another site's page",
         soap(stationRequest("1", print, "I"), stationSoapAction(),
              "Origin: http://elsewhere.example\r\n"),
         0, false, 403, "another site", false},
    };
    const long memoryBefore = memoryKiB(service.pid(), "VmHWM:");
    std::size_t recorded = 0;
    for (const Case& c : cases) {
        RawConnection connection("127.0.0.1", service.port());
        ASSERT_TRUE(connection.send(c.request)) << c.what;
        connection.sendFiller(c.filler, c.pattern);
        if (c.unframed) {
            connection.finishSending();
        }
        const std::string reply = connection.readUntilClosed(15'000);
        EXPECT_EQ(statusOf(reply), c.status) << c.what << ": " << reply.substr(0, 300);
        EXPECT_NE(bodyOf(reply).find(c.replyPart), std::string::npos) << c.what << ": " << reply;
        // One whole answer, never a part of one nor many: no interim 100, no ranges.
        EXPECT_EQ(reply.find("HTTP/1.1", 1), std::string::npos) << c.what;
        EXPECT_LT(reply.size(), 16u * 1024) << c.what;
        // Recorded requests to the endpoint are answered in SOAP a strict XML 1.0 reader takes
        // (strict UTF-8, no forbidden character written or referenced); nothing else is.
        pugi::xml_document parsed;
        if (c.recorded && c.status != 0) {
            EXPECT_TRUE(parsed.load_string(bodyOf(reply).c_str())) << c.what;
            EXPECT_TRUE(clocking::isCleanText(bodyOf(reply))) << c.what << ": " << reply;
            EXPECT_EQ(bodyOf(reply).find("&#"), std::string::npos) << c.what;
        } else {
            EXPECT_EQ(bodyOf(reply).find("Envelope"), std::string::npos) << c.what;
        }
        recorded += c.recorded ? 1 : 0;
    }
    // The page is the service's own document, never sniffed or scripted into another.
    RawConnection page("127.0.0.1", service.port());
    ASSERT_TRUE(page.send(requestHead("GET", "/", "")));
    const std::string pageReply = page.readUntilClosed(15'000);
    EXPECT_EQ(statusOf(pageReply), 200);
    EXPECT_NE(pageReply.find("X-Content-Type-Options: nosniff"), std::string::npos);
    EXPECT_NE(pageReply.find("Content-Security-Policy: default-src 'none'"), std::string::npos);

    // Requests of 64 MiB went by; reading any of them whole would show here. The sanitizers'
    // shadow memory and held-back frees make the figure say nothing in their builds.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(memoryKiB(service.pid(), "VmHWM:") - memoryBefore, 48 * 1024);
#else
    (void)memoryBefore;
#endif

    Database store(db);
    const auto lines = clocking::latestEntries(store, 100);
    ASSERT_EQ(lines.size(), recorded);
    // What callers sent is kept cleaned and cut, never whole.
    for (const auto& line : lines) {
        const auto& e = line.entry;
        for (const auto& [text, limit] : {std::pair{e.appId.value_or(""), 128u + 3u},
                                          {e.mode.value_or(""), 16u + 3u},
                                          {e.fault.value_or(""), 2048u}}) {
            EXPECT_LE(text.size(), limit);
            EXPECT_TRUE(clocking::isCleanText(text)) << text;
        }
    }
    // The refused requests reach the log with the caller's address.
    const CommandRun stopped = service.stop();
    EXPECT_NE(stopped.out.find("127.0.0.1:"), std::string::npos);
    EXPECT_NE(stopped.out.find("  431  "), std::string::npos) << stopped.out;
    EXPECT_EQ(stopped.out.find(":-1"), std::string::npos) << stopped.out;
}

TEST_F(ClockingServiceHostileTest, PipelinedRequestsAreAllAnsweredInOrder) {
    ServiceProcess service(db);
    const std::string print = base64Text(testPrint());
    std::string requests;
    for (const char* id : {"p1", "p2", "p3"}) {
        const std::string body = stationRequest(id, print, "I");
        requests += "POST " + kEndpoint +
                    " HTTP/1.1\r\nHost: 127.0.0.1\r\nSOAPAction: " + stationSoapAction() +
                    "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }
    requests += requestHead("GET", "/", ""); // closes the connection once answered
    RawConnection connection("127.0.0.1", service.port());
    ASSERT_TRUE(connection.send(requests)); // one write
    const std::string replies = connection.readUntilClosed(15'000);
    std::size_t at = 0;
    for (const char* id : {"p1", "p2", "p3"}) {
        at = replies.find(std::string("Usuario no registrado: ") + id, at);
        EXPECT_NE(at, std::string::npos) << id << " answered, after the one before: " << replies;
    }
    Database store(db);
    EXPECT_EQ(clocking::latestEntries(store, 100).size(), 3u);
}

TEST_F(ClockingServiceHostileTest, PrintThumbnailsAreMadeOnceWhenRecorded) {
    ServiceProcess service(db);
    for (const char* id : {"1", "2"}) {
        const std::string body = stationRequest(id, base64Text(testPrint()), "I");
        ASSERT_EQ(post(service, body, stationSoapAction()).status, 200);
    }
    // Made in the order recorded, away from the threads that answer, which meanwhile say so.
    const HttpReply second = madePicture(service, "/entries/2/print.jpg");
    ASSERT_EQ(second.status, 200);
    // Only a thumbnail decoded on demand would see that the stored print no longer decodes.
    Database(db).execute("UPDATE ledger SET wsq = x'FFA0FFA1'");
    const HttpReply first = get(service, "/entries/1/print.jpg");
    EXPECT_EQ(first.status, 200);
    EXPECT_TRUE(first.body == second.body) << "the same print, the same thumbnail";
}

TEST_F(ClockingServiceHostileTest, SlowAndNumerousClientsDoNotStopTheService) {
    ServiceProcess service(db);
    // One address holds its share of 16 slow clients, which send their bodies a byte at a
    // time, then opens, one at a time, more
    // connections than the service holds in all and sends nothing on them: each is closed as
    // soon as the service takes it, long before its idle 10 s are up. The service may take the
    // last slow client after the first of these, which then holds its place.
    constexpr int kSlow = 16;
    constexpr int kIdle = 400;
    std::vector<std::unique_ptr<RawConnection>> slow;
    for (int i = 0; i < kSlow; ++i) {
        slow.push_back(std::make_unique<RawConnection>("127.0.0.1", service.port()));
        ASSERT_TRUE(slow.back()->send(
            requestHead("POST", kEndpoint,
                        "SOAPAction: " + stationSoapAction() + "\r\nContent-Length: 100000\r\n")));
    }
    std::vector<std::unique_ptr<RawConnection>> idle;
    int held = 0;
    for (int i = 0; i < kIdle && held <= 1; ++i) {
        idle.push_back(std::make_unique<RawConnection>("127.0.0.1", service.port()));
        held += idle.back()->closedByService(5'000) ? 0 : 1;
    }
    EXPECT_LE(held, 1);
    // Stopped however the test ends, even by a failed assertion.
    std::jthread trickle([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            for (auto& connection : slow) {
                connection->send("A");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });

    // A station elsewhere on the network (another loopback address) clocks in meanwhile.
    const std::string body = stationRequest("20123456", base64Text(testPrint()), "I");
    RawConnection station("127.0.0.1", service.port(), "127.0.0.2");
    ASSERT_TRUE(station.send(soap(body)));
    const std::string reply = station.readUntilClosed(30'000);
    EXPECT_EQ(statusOf(reply), 200) << reply;
    EXPECT_NE(reply.find("Usuario no registrado: 20123456"), std::string::npos);

    // The slow ones are cut when their connection's life is over, however busy they are.
    for (auto& connection : slow) {
        EXPECT_TRUE(connection->closedByService(45'000));
    }
    trickle.request_stop();
    trickle.join();
    Database store(db);
    EXPECT_EQ(clocking::latestEntries(store, 100).size(), 1u);
    // The refusals are logged, a few lines for hundreds.
    const CommandRun stopped = service.stop();
    std::size_t refusalLines = 0;
    for (std::size_t at = 0; (at = stopped.out.find("connection refused", at)) != std::string::npos;
         ++at) {
        ++refusalLines;
    }
    EXPECT_GE(refusalLines, 1u) << stopped.out;
    EXPECT_LE(refusalLines, 20u) << stopped.out;
    EXPECT_NE(stopped.out.find("connection cut: open longer than 30 s"), std::string::npos);
    // Their requests are logged as cut, not as malformed.
    EXPECT_NE(stopped.out.find("cut: the connection was open longer than 30 s"), std::string::npos)
        << stopped.out;
    EXPECT_EQ(stopped.out.find("not a well-formed"), std::string::npos) << stopped.out;
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
        EXPECT_EQ(madePicture(service, "/entries/1/print.jpg").status, c.tokenRule ? 403 : 200);
        if (c.tokenRule) {
            EXPECT_EQ(get(service, "/?token=wrong").status, 403);
            const HttpReply page = get(service, "/?token=" + token);
            EXPECT_EQ(page.status, 200);
            // The page's pictures carry it, so that they load.
            EXPECT_NE(page.body.find("/entries/1/print.jpg?token=" + token), std::string::npos);
            EXPECT_EQ(madePicture(service, "/entries/1/print.jpg?token=" + token).status, 200);
        }
    }
}

} // namespace
} // namespace qv::test
