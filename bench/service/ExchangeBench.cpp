// One clock-in exchange over loopback: request building, HTTP, reply reading, with
// fingerprint and photograph texts of a realistic size.

#include "service/HttpServiceProxy.h"
#include "service/QuorvantisServiceGetter.h"
#include "tests/support/TestHttpServer.h"

#include <benchmark/benchmark.h>

namespace {

// A WSQ fingerprint of a 500 ppi scan is about 20-30 KB; its Base64 text a third more.
const std::string kFingerprint(36 * 1024, 'Q');
const std::string kPhoto(48 * 1024, 'P');

qv::test::TestHttpServer& server() {
    static qv::test::TestHttpServer instance;
    static const bool answering = [] {
        instance.respond(200, "<?xml version=\"1.0\"?><s:Envelope "
                              "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
                              "<FicharResponse><FicharResult><puntaje>91</puntaje>"
                              "<resultado>Bienvenido</resultado><foto>" +
                                  kPhoto +
                                  "</foto></FicharResult></FicharResponse>"
                                  "</s:Body></s:Envelope>");
        return true;
    }();
    static_cast<void>(answering);
    return instance;
}

// The station's way: a new proxy, and so a new connection, for every clock-in.
void BM_FicharNewProxyEachCall(benchmark::State& state) {
    const std::string url = server().url("/QuorvantisService.asmx");
    for (auto _ : state) {
        auto result = qv::GetQuorvantisServiceSoap(false, url)->Fichar("1234", kFingerprint, "I");
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(kFingerprint.size() + kPhoto.size()));
}
BENCHMARK(BM_FicharNewProxyEachCall)->Unit(benchmark::kMicrosecond);

// One proxy kept across calls: the connection is reused while the server keeps it alive.
void BM_FicharSameProxy(benchmark::State& state) {
    const auto service = qv::GetQuorvantisServiceSoap(false, server().url("/q"));
    for (auto _ : state) {
        auto result = service->Fichar("1234", kFingerprint, "I");
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(kFingerprint.size() + kPhoto.size()));
}
BENCHMARK(BM_FicharSameProxy)->Unit(benchmark::kMicrosecond);

// Raw transport throughput for a large reply, which the size limit lets through.
void BM_TransportLargeReply(benchmark::State& state) {
    static qv::test::TestHttpServer bulk;
    const std::string reply(static_cast<std::size_t>(state.range(0)), 'r');
    bulk.respond(200, reply);
    qv::THttpTransport transport;
    transport.setURL(bulk.url("/bulk"));
    for (auto _ : state) {
        qv::MemoryStream stream;
        transport.SendAndReceive("<r/>", stream);
        benchmark::DoNotOptimize(stream.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TransportLargeReply)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
