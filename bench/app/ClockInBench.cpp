// The two halves of a clock-in that the station spends its own time on, around the service's
// work: from the capture program's "huella.bmp" (or the scanner library's image procedure) to
// the request sent, and from the answer received to the photograph on screen.

#include "app/PictureView.h"
#include "app/Pictures.h"
#include "capture/UFingerScan.h"
#include "imaging/BitmapUtil.h"
#include "imaging/BmpFile.h"
#include "imaging/FingerprintText.h"
#include "imaging/JpegPhoto.h"
#include "imaging/PgmFile.h"
#include "imaging/UMimeFile.h"
#include "imaging/WSQPACK.h"
#include "platform/Files.h"
#include "service/QuorvantisServiceGetter.h"
#include "service/SoapCallConverter.h"
#include "tests/support/JpegMaker.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestHttpServer.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

std::string ficharAnswer(const std::string& foto) {
    return "<?xml version=\"1.0\"?><soap:Envelope "
           "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
           "<FicharResponse xmlns=\"" +
           std::string(qv::kQuorvantisServiceNamespace) +
           "\"><FicharResult><puntaje>97</puntaje><resultado>Bienvenido</resultado><foto>" + foto +
           "</foto></FicharResult></FicharResponse></soap:Body></soap:Envelope>";
}

// A 500 x 500 print from the reference set, as the capture program would leave it.
std::string writeCapturedPrint(const qv::test::TempFolder& folder) {
    const qv::GrayRaster print =
        qv::parsePgm(qv::readFileBytes(QV_TESTDATA_DIR "/wsq/fp07_raw_500x500.pgm"));
    qv::Bitmap bitmap(print.width, print.height);
    for (int row = 0; row < print.height; ++row) {
        std::copy_n(print.pixels.begin() + std::ptrdiff_t{row} * print.width, print.width,
                    bitmap.scanLine(row).begin());
    }
    const std::string path = folder.path("huella.bmp");
    qv::saveBmpFile(bitmap, path, 500);
    return path;
}

// Load, compress, encode, build and post the request; the loopback service answers at once
// with a reply that holds no photograph, so the time is the station's and the socket's.
void BM_CapturedPrintToRequestSent(benchmark::State& state) {
    qv::test::TempFolder folder;
    const std::string print = writeCapturedPrint(folder);
    qv::test::TestHttpServer server;
    server.respond(200, ficharAnswer(""));
    const std::string url = server.url("/QuorvantisService.asmx");
    for (auto _ : state) {
        const std::string text = qv::encodeFingerprint(qv::loadBmpFile(print));
        auto answer = qv::GetQuorvantisServiceSoap(false, url)->Fichar("12345678", text, "I");
        benchmark::DoNotOptimize(answer);
    }
}
BENCHMARK(BM_CapturedPrintToRequestSent)->Unit(benchmark::kMillisecond);

// The scanner road's own work for one scan, as the window's handlers do it: the copy out of the
// library's call, the hand-off, the BMP for AfterScan, loading it, mirroring both ways,
// compression, Base64, and the request posted to a loopback service that answers at once.
void BM_ScanToRequestSent(benchmark::State& state) {
    const auto width = static_cast<int32_t>(state.range(0));
    const auto height = static_cast<int32_t>(state.range(1));
    const auto resolution = static_cast<int32_t>(state.range(2));
    std::vector<std::uint8_t> pixels(std::size_t(width) * std::size_t(height));
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] =
            static_cast<std::uint8_t>((i % std::size_t(width) / 4 + i / 1000) % 2 ? 40 : 210);
    }
    qv::test::TestHttpServer server;
    server.respond(200, ficharAnswer(""));
    const std::string url = server.url("/QuorvantisService.asmx");
    qv::scanDeliveries().setWaker([] {});
    qv::FingerScan = std::make_unique<qv::TFingerScan>();
    qv::ScanEnabled = true;
    qv::FingerScan->BeforeScan = [](std::unique_ptr<qv::MemoryStream>& stream) {
        stream = std::make_unique<qv::MemoryStream>();
    };
    qv::FingerScan->AfterScan = [&](std::unique_ptr<qv::MemoryStream>& stream) {
        const std::unique_ptr<qv::MemoryStream> scan = std::move(stream);
        scan->seek(0);
        const qv::Bitmap source = qv::loadBmp(*scan);
        qv::Bitmap target;
        target.setPalette(source.palette());
        qv::FlipBitmap(true, true, source, target);
        const std::string text = qv::encodeFingerprint(target);
        auto answer = qv::GetQuorvantisServiceSoap(false, url)->Fichar("12345678", text, "I");
        benchmark::DoNotOptimize(answer);
    };
    for (auto _ : state) {
        qv::ScanImageProc("bench:0", width, height, pixels.data(), resolution, 0);
        qv::processScanDelivery(*qv::scanDeliveries().pop());
    }
    qv::FingerScan.reset();
    qv::ScanEnabled = false;
    qv::scanDeliveries().setWaker({});
}
BENCHMARK(BM_ScanToRequestSent)
    ->ArgNames({"width", "height", "ppi"})
    ->Args({500, 500, 500})
    ->Args({800, 750, 1000})
    ->Unit(benchmark::kMillisecond);

// A portrait of 240 x 320 (state.range(0) scales it) as the service would send it.
std::string photographText(int scale) {
    const int width = 240 * scale;
    const int height = 320 * scale;
    std::vector<std::uint8_t> rgb;
    rgb.reserve(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            rgb.insert(rgb.end(), {static_cast<std::uint8_t>(x * 255 / width),
                                   static_cast<std::uint8_t>(y * 255 / height),
                                   static_cast<std::uint8_t>((x ^ y) & 0xFF)});
        }
    }
    qv::MemoryStream jpeg(qv::test::makeJpeg(rgb, width, height, qv::test::JpegKind::Colour));
    std::string text;
    qv::StreamToBase64Text(jpeg, text);
    return text;
}

// Read the reply, decode the photograph's Base64 and JPEG, and paint it in the picture.
void BM_AnswerToPhotographPainted(benchmark::State& state) {
    const std::string body = ficharAnswer(photographText(static_cast<int>(state.range(0))));
    const qv::MemoryStream reply(std::vector<std::uint8_t>(body.begin(), body.end()));
    const qv::TSoapCallConverter converter;
    qv::PictureView picture;
    picture.resize(455, 344);
    picture.show();
    for (auto _ : state) {
        const auto answer =
            converter.ReadResponse(reply, qv::QuorvantisServiceSoap::interfaceInfo());
        qv::MemoryStream photo;
        qv::Base64TextToStream(answer->foto, photo);
        photo.seek(0);
        picture.showPhotograph(qv::photographImage(qv::loadJpeg(photo)));
        picture.repaint();
    }
    state.SetLabel(std::to_string(body.size() / 1024) + " KiB reply");
}
BENCHMARK(BM_AnswerToPhotographPainted)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    qv::registerQuorvantisService();
    qv::LoadWSQPack(QV_WSQPACK_LIBRARY);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
