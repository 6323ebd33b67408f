// One clock-in exchange over loopback: request building, HTTP, reply reading, with
// fingerprint and photograph texts of a realistic size.

#include "service/HttpServiceProxy.h"
#include "service/QuorvantisService.h"
#include "service/QuorvantisServiceGetter.h"
#include "service/SoapCallConverter.h"
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

// Reading a reply alone: encoding, the well-formedness check and the tree, for a photograph of
// the given size in a UTF-8 and in a windows-1252 reply.
void BM_ReadReply(benchmark::State& state) {
    qv::RegisterQuorvantisService();
    const std::string declaration = state.range(1) != 0
                                        ? "<?xml version=\"1.0\" encoding=\"windows-1252\"?>"
                                        : "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
    const std::string text =
        declaration +
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
        "<FicharResponse><FicharResult><puntaje>91</puntaje><resultado>Bienvenido</resultado>"
        "<foto>" +
        std::string(static_cast<std::size_t>(state.range(0)), 'P') +
        "</foto></FicharResult></FicharResponse></s:Body></s:Envelope>";
    const qv::MemoryStream reply(std::vector<std::uint8_t>(text.begin(), text.end()));
    qv::TSoapCallConverter converter;
    converter.Options.insert(qv::TSoapConvertOption::soDocument);
    for (auto _ : state) {
        auto result = converter.ReadResponse(reply, qv::QuorvantisServiceSoap::interfaceInfo());
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ReadReply)->Args({48 * 1024, 0})->Args({48 * 1024, 1})->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
