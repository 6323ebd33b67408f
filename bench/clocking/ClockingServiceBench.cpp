// The development clocking service under load: the request reader alone, and whole clock-ins
// over loopback from several parallel stations (each with its own kept-alive connection),
// each print checked, answered and committed to a real SQLite file.

#include "imaging/UMimeFile.h"
#include "platform/Files.h"
#include "service/QuorvantisService.h"
#include "tests/support/TempFolder.h"
#include "tools/clocking-service/ClockingDesk.h"
#include "tools/clocking-service/HttpEndpoint.h"
#include "tools/clocking-service/Portrait.h"
#include "tools/clocking-service/Staff.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <httplib.h>
#include <sys/resource.h>
#include <thread>

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

} // namespace

BENCHMARK_MAIN();
