// The service's page as a person's browser shows it: headless Chromium renders it, and every
// picture it links decodes.

#include "service/QuorvantisServiceGetter.h"
#include "tests/clocking/ClockingTestSupport.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <turbojpeg.h>

namespace qv::test {
namespace {

// The DOM after rendering, or nothing with the reason when Chromium cannot start here.
struct Rendered {
    bool started = false;
    std::string dom;
    std::string problem;
};

Rendered renderInChromium(const std::string& url, const std::string& profile) {
    const std::vector<std::string> args{"--headless",     "--no-sandbox",
                                        "--disable-gpu",  "--disable-background-networking",
                                        "--no-first-run", "--disable-component-update",
                                        "--disable-sync", "--user-data-dir=" + profile,
                                        "--dump-dom",     url};
    const CommandRun run = runAndCapture("chromium", args);
    if (run.exitCode != 0 || run.out.find("<html") == std::string::npos) {
        return {false, "", "exit status " + std::to_string(run.exitCode) + ": " + run.err};
    }
    return {true, run.out, ""};
}

// Every piece of text that follows `open` up to the next `close`, in order.
std::vector<std::string> between(const std::string& text, const std::string& open,
                                 const std::string& close) {
    std::vector<std::string> pieces;
    for (auto at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
        at += open.size();
        const auto end = text.find(close, at);
        if (end == std::string::npos) {
            break;
        }
        pieces.push_back(text.substr(at, end - at));
        at = end + close.size();
    }
    return pieces;
}

bool decodesAsJpeg(const std::string& bytes) {
    const std::unique_ptr<void, int (*)(void*)> decoder(tjInitDecompress(), tjDestroy);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(decoder.get(), data, bytes.size(), &width, &height, &subsampling,
                            &colourspace) != 0) {
        return false;
    }
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    return tjDecompress2(decoder.get(), data, bytes.size(), pixels.data(), width, 0, height,
                         TJPF_RGB, 0) == 0;
}

TEST(PageInChromiumTest, ShowsTheNewestClockInFirstWithItsPictures) {
    TempFolder folder;
    const std::string db = folder.path("page.db");
    ASSERT_EQ(runClockingService({"--db", db, "enroll", "20123456", "Ana Pérez"}).exitCode, 0);
    ServiceProcess service(db);
    const auto station = GetQuorvantisServiceSoap(false, service.url());
    const std::string print = base64Text(testPrint());
    station->Fichar("20123456", print, "I");
    station->Fichar("20123456", print, "E");
    const std::string markup = "<b>Eve</b> & \"co\"";
    station->Fichar(markup, print, "I"); // unknown: its text must stay text

    const Rendered page = renderInChromium(service.url("/"), folder.path("chromium"));
    if (!page.started) {
        GTEST_SKIP() << "Chromium cannot start here, so the page was not rendered: "
                     << page.problem;
    }
    const auto rows = between(page.dom, "<tr id=\"entry-", "</tr>");
    ASSERT_EQ(rows.size(), 3u) << page.dom;
    EXPECT_EQ(rows[0].rfind("3\">", 0), 0u) << rows[0];
    EXPECT_NE(rows[0].find("&lt;b&gt;Eve&lt;/b&gt; &amp; \"co\""), std::string::npos) << rows[0];
    EXPECT_EQ(rows[0].find("<b>"), std::string::npos) << "request text became markup";
    EXPECT_NE(rows[0].find("Usuario no registrado: &lt;b&gt;Eve"), std::string::npos);
    EXPECT_NE(rows[1].find("Egreso registrado: Ana Pérez"), std::string::npos) << rows[1];

    // The newest known clock-in links its print and its photograph, and both decode.
    httplib::Client client("127.0.0.1", service.port());
    const auto pictures = between(rows[1], "<img src=\"", "\"");
    EXPECT_EQ(pictures.size(), 2u) << rows[1];
    for (const auto& picture : pictures) {
        const auto reply = client.Get(picture.c_str());
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
        EXPECT_TRUE(decodesAsJpeg(reply->body)) << picture;
    }
}

} // namespace
} // namespace qv::test
