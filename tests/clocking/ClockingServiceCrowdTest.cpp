// The real service under many hostile callers at once, from many loopback addresses: bodies
// beyond the memory kept for them, heads that never end, refusals by the hundred, and the
// station elsewhere that must still be answered meanwhile.

#include "tests/clocking/ClockingTestSupport.h"
#include "tests/clocking/RawConnection.h"
#include "tests/support/TempFolder.h"
#include "tools/clocking-service/Ledger.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace qv::test {
namespace {

using clocking::Database;

const std::string kEndpoint = "/QuorvantisService.asmx";

std::string soapHead(std::size_t length) {
    return requestHead(
        "POST", kEndpoint,
        "SOAPAction: " + stationSoapAction() +
            "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(length) + "\r\n");
}

class ClockingServiceCrowdTest : public ::testing::Test {
protected:
    // `each` callers from each of `addresses` loopback addresses 127.0.<group>.<n>, all of
    // whom have sent `head`, unless the service closed on them first.
    std::vector<std::unique_ptr<RawConnection>> crowd(const ServiceProcess& service, int group,
                                                      int addresses, int each,
                                                      const std::string& head) {
        std::vector<std::unique_ptr<RawConnection>> callers;
        for (int a = 1; a <= addresses; ++a) {
            for (int n = 0; n < each; ++n) {
                const std::string from = "127.0." + std::to_string(group) + "." + std::to_string(a);
                callers.push_back(
                    std::make_unique<RawConnection>("127.0.0.1", service.port(), from));
                callers.back()->send(head);
            }
        }
        return callers;
    }

    // A station on an address of its own clocks in; the status as read within the wait.
    int stationClocksIn(const ServiceProcess& service, int waitMs) {
        const std::string body = stationRequest("20123456", base64Text(testPrint()), "I");
        RawConnection station("127.0.0.1", service.port(), "127.0.0.2");
        return station.send(soapHead(body.size()) + body)
                   ? statusOf(station.readUntilClosed(waitMs))
                   : 0;
    }

    TempFolder folder;
    std::filesystem::path db = std::filesystem::path(folder.path("ledger.db"));
};

TEST_F(ClockingServiceCrowdTest, BodiesFromManyAddressesStayWithinTheirMemory) {
    constexpr std::size_t kBody = 8 * 1024 * 1024;
    constexpr long kBudgetMiB = 64;
    ServiceProcess service(db, "127.0.0.1", {"--body-memory", std::to_string(kBudgetMiB)});
    const long before = memoryKiB(service.pid(), "VmRSS:");
    // Only the bodies that fit in the budget are read; the rest are asked to come back later.
    auto callers = crowd(service, 5, 8, 8, soapHead(kBody));
    std::vector<std::unique_ptr<RawConnection>> admitted;
    for (auto& caller : callers) {
        const std::string reply = caller->readUntilClosed(1'000);
        if (reply.empty()) {
            admitted.push_back(std::move(caller));
            continue;
        }
        EXPECT_EQ(statusOf(reply), 503) << reply.substr(0, 200);
        EXPECT_NE(reply.find("Retry-After: 5"), std::string::npos);
    }
    EXPECT_LE(admitted.size(), static_cast<std::size_t>(kBudgetMiB * 1024 * 1024 / kBody));
    // A clock-in is small enough for the part kept for stations.
    EXPECT_EQ(stationClocksIn(service, 15'000), 200);
    for (auto& caller : admitted) {
        caller->sendFiller(kBody, "A");
        EXPECT_EQ(statusOf(caller->readUntilClosed(15'000)), 500);
    }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The bodies read, and no more; given back once answered.
    EXPECT_LT(memoryKiB(service.pid(), "VmHWM:") - before, (kBudgetMiB + 48) * 1024);
    EXPECT_LT(memoryKiB(service.pid(), "VmRSS:") - before, 24 * 1024);
#else
    (void)before;
#endif
    // Asked to come back is not refused: only the read bodies and the clock-in are recorded.
    Database store(db);
    EXPECT_EQ(clocking::latestEntries(store, 200).size(), admitted.size() + 1);
}

TEST_F(ClockingServiceCrowdTest, SlowHeadsFromManyAddressesDoNotHoldTheSlots) {
    ServiceProcess service(db);
    // As many callers as the service holds connections, each sending a header line now and
    // then and never the end of its head.
    constexpr int kAddresses = 16;
    auto slow =
        crowd(service, 6, kAddresses, 16, "POST " + kEndpoint + " HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    std::jthread trickle([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            for (auto& connection : slow) {
                connection->send("X-Slow: 1\r\n");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });
    // Well within the connection's life, which the slow heads would otherwise fill.
    EXPECT_EQ(stationClocksIn(service, 10'000), 200);
    // Those past the slots' last eighth, kept for addresses holding few, were closed at once;
    // the rest are answered at their head's deadline.
    int timedOut = 0;
    for (auto& connection : slow) {
        const int status = statusOf(connection->readUntilClosed(10'000));
        EXPECT_TRUE(status == 408 || status == 0) << status;
        timedOut += status == 408 ? 1 : 0;
    }
    EXPECT_GE(timedOut, static_cast<int>(slow.size()) * 7 / 8 - kAddresses);
}

TEST_F(ClockingServiceCrowdTest, RefusalsAreKeptSmallAndBoundedPerAddressAndHour) {
    ServiceProcess service(db);
    // Base64 of bytes that are no WSQ file: decoded, refused, and not to be stored.
    const std::string junk = base64Text(std::vector<std::uint8_t>(256 * 1024, 0x5A));
    const std::string body = stationRequest("1", junk, "I");
    constexpr int kSent = 205;
    for (int i = 0; i < kSent; ++i) {
        ASSERT_EQ(post(service, body, stationSoapAction()).status, 500) << i;
    }
    // A station elsewhere has its own share.
    EXPECT_EQ(stationClocksIn(service, 15'000), 200);
    service.stop();

    Database store(db);
    const auto lines = clocking::latestEntries(store, 1000);
    ASSERT_EQ(lines.size(), 200u + 1u + 1u); // the share, the summary row, the clock-in
    int summaries = 0;
    for (const auto& line : lines) {
        const auto& fault = line.entry.fault.value_or("");
        EXPECT_TRUE(!line.hasPrint || !line.entry.fault) << line.entry.entry;
        if (fault.find("summarised in this row") != std::string::npos) {
            ++summaries;
            EXPECT_NE(fault.find("5 more requests from 127.0.0.1 were refused"), std::string::npos)
                << fault;
        } else if (line.entry.fault) {
            EXPECT_NE(fault.find("the print sent (262144 bytes, beginning 5a5a"), std::string::npos)
                << fault;
        }
    }
    EXPECT_EQ(summaries, 1);
    // 51 MiB of prints were sent; only their descriptions are kept.
    store.execute("PRAGMA wal_checkpoint(TRUNCATE)");
    EXPECT_LT(std::filesystem::file_size(db), 2u * 1024 * 1024);
}

} // namespace
} // namespace qv::test
