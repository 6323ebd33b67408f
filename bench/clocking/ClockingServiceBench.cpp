// The development clocking service under load: the request reader alone, whole clock-ins over
// loopback from several parallel stations (each with its own kept-alive connection), each
// print checked, answered and committed to a real SQLite file, and clock-ins while hundreds of
// connections from many addresses post the largest bodies allowed.

#include "imaging/UMimeFile.h"
#include "platform/Files.h"
#include "service/QuorvantisService.h"
#include "tests/support/TempFolder.h"
#include "tools/clocking-service/ClockingDesk.h"
#include "tools/clocking-service/HttpEndpoint.h"
#include "tools/clocking-service/Portrait.h"
#include "tools/clocking-service/Serve.h"
#include "tools/clocking-service/Staff.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace qv::clocking;

std::string fingerprintText() {
    qv::MemoryStream wsq(
        qv::readFileBytes(std::string(QV_TESTDATA_DIR) + "/wsq/fp01_t4_512x512.nbis.wsq"));
    std::string text;
    qv::StreamToBase64Text(wsq, text);
    return text;
}

std::string requestBody(const std::string& id) {
    static const std::string print = fingerprintText();
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
           "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body>"
           "<Fichar xmlns=\"" +
           std::string(qv::kQuorvantisServiceNamespace) + "\"><AppId>" + id +
           "</AppId><huellaWSQ>" + print +
           "</huellaWSQ><modo>I</modo></Fichar></SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

const std::string kAction = std::string(qv::kQuorvantisServiceNamespace) + "Fichar";

void BM_ReadFicharRequest(benchmark::State& state) {
    const std::string body = requestBody("20123456");
    for (auto _ : state) {
        auto request = readFicharRequest(body, kAction);
        benchmark::DoNotOptimize(request);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadFicharRequest)->Unit(benchmark::kMicrosecond);

// The costliest shapes a caller can give 16 MiB: attributes on the Envelope (0), headers to
// be understood (1), one long text (2). Each is refused in time linear in its size.
void BM_ReadHostileRequest(benchmark::State& state) {
    const std::string open = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"";
    const std::string piece = state.range(0) == 0   ? " xmlns:a=\"u\""
                              : state.range(0) == 1 ? "<h s:mustUnderstand=\"0\"/>"
                                                    : "M";
    std::string filling;
    while (filling.size() < 16 * 1024 * 1024 - 1024) {
        filling += piece;
    }
    const std::string body = state.range(0) == 0
                                 ? open + filling + "><s:Body/></s:Envelope>"
                                 : open + "><s:Header>" + (state.range(0) == 1 ? filling : "") +
                                       "</s:Header><s:Body><Fichar xmlns=\"" +
                                       std::string(qv::kQuorvantisServiceNamespace) + "\"><modo>" +
                                       (state.range(0) == 2 ? filling : "") +
                                       "</modo></Fichar></s:Body></s:Envelope>";
    for (auto _ : state) {
        auto request = readFicharRequest(body, kAction);
        benchmark::DoNotOptimize(request);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_ReadHostileRequest)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// One service for the whole run, with a known member so answers carry a photograph.
struct RunningService {
    qv::test::TempFolder temp;
    fs::path folder = temp.folder();
    std::unique_ptr<Database> db;
    std::unique_ptr<ClockingDesk> desk;
    std::unique_ptr<HttpEndpoint> endpoint;
    int port = 0;
    std::thread serving;

    RunningService() {
        fs::create_directories(folder);
        db = std::make_unique<Database>(folder / "bench.db");
        enroll(*db, {"20123456", "Ana Pérez", placeholderPortrait("20123456"), {}});
        desk = std::make_unique<ClockingDesk>(*db);
        endpoint = std::make_unique<HttpEndpoint>(*desk);
        port = endpoint->bind("127.0.0.1", 0);
        serving = std::thread([this] { endpoint->serve(); });
    }
    ~RunningService() {
        endpoint->stop();
        serving.join();
        endpoint.reset();
        desk.reset();
        db.reset();
    }
};

RunningService& service() {
    static RunningService running;
    return running;
}

// CPU time of the whole process (service workers and callers), which the load of other
// programs on a shared machine does not inflate the way it does wall time.
double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void BM_ClockInsOverLoopback(benchmark::State& state) {
    const std::string body = requestBody("20123456");
    const double cpuBefore = state.thread_index() == 0 ? processCpuMs() : 0;
    httplib::Client client("127.0.0.1", service().port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true); // as the station's HTTP client does
    const httplib::Headers headers{{"SOAPAction", "\"" + kAction + "\""}};
    for (auto _ : state) {
        const auto reply = client.Post("/QuorvantisService.asmx", headers, body, "text/xml");
        if (!reply || reply->status != 200) {
            state.SkipWithError("the service did not answer 200");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        // Stations and service share the process: memory must stay flat however many
        // clock-ins go by.
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        state.counters["peak_rss_mib"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
        state.counters["cpu_ms_per_clockin"] =
            (processCpuMs() - cpuBefore) /
            static_cast<double>(state.iterations() * state.threads());
    }
}
BENCHMARK(BM_ClockInsOverLoopback)
    ->Threads(1)
    ->Threads(4)
    ->Threads(8)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Resident memory of this process now, in MiB.
double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// A caller that posts 16 MiB bodies from its own loopback address, over and over, until told
// to stop: whatever it is answered (503 while the body memory is in use), it comes back.
void attack(const std::string& from, int port, const std::string& body, std::stop_token stop) {
    const std::string head = "POST /QuorvantisService.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                             "SOAPAction: \"" +
                             kAction + "\"\r\nContent-Length: " + std::to_string(body.size()) +
                             "\r\nConnection: close\r\n\r\n";
    while (!stop.stop_requested()) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(static_cast<std::uint16_t>(port));
        ::inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
        const timeval wait{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0 &&
            ::send(fd, head.data(), head.size(), MSG_NOSIGNAL) > 0) {
            std::size_t sent = 0;
            while (sent < body.size() && !stop.stop_requested()) {
                const auto n = ::send(fd, body.data() + sent, body.size() - sent, MSG_NOSIGNAL);
                if (n <= 0 && errno != EAGAIN) {
                    break;
                }
                sent += n > 0 ? static_cast<std::size_t>(n) : 0;
            }
            std::array<char, 4096> reply{};
            while (!stop.stop_requested() && ::recv(fd, reply.data(), reply.size(), 0) > 0) {
            }
        }
        ::close(fd);
    }
}

// Clock-ins from a station while `state.range(0)` connections from 16 callers per address
// post 16 MiB bodies: the time per clock-in, the slowest, and the service's memory at its
// peak and once the attack is over.
void BM_ClockInUnderAttack(benchmark::State& state) {
    useServiceHeap();
    const int port = service().port;
    static const std::string junk(16 * 1024 * 1024 - 1024, 'A');
    std::atomic<double> peak{residentMiB()};
    std::vector<std::jthread> callers;
    for (int i = 0; i < state.range(0); ++i) {
        const std::string from = "127.0.9." + std::to_string(1 + i / 16);
        callers.emplace_back(
            [from, port](std::stop_token stop) { attack(from, port, junk, stop); });
    }
    std::jthread sampler([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            peak = std::max(peak.load(), residentMiB());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(2)); // the attack under way
    const std::string body = requestBody("20123456");
    httplib::Client client("127.0.0.1", port);
    client.set_tcp_nodelay(true);
    client.set_connection_timeout(30);
    client.set_read_timeout(30);
    const httplib::Headers headers{{"SOAPAction", "\"" + kAction + "\""}};
    double slowestMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto reply = client.Post("/QuorvantisService.asmx", headers, body, "text/xml");
        slowestMs = std::max(slowestMs, std::chrono::duration<double, std::milli>(
                                            std::chrono::steady_clock::now() - start)
                                            .count());
        if (!reply || reply->status != 200) {
            state.SkipWithError(
                ("the station was answered " +
                 (reply ? std::to_string(reply->status) : httplib::to_string(reply.error())))
                    .c_str());
            break;
        }
    }
    for (auto& caller : callers) {
        caller.request_stop();
    }
    callers.clear();
    sampler.request_stop();
    sampler.join();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    state.counters["peak_rss_mib"] = peak.load();
    state.counters["rss_after_mib"] = residentMiB();
    state.counters["slowest_ms"] = slowestMs;
}
BENCHMARK(BM_ClockInUnderAttack)
    ->Arg(128)
    ->Arg(256)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
