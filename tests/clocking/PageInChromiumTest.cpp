// The service's page as a person's browser shows it: headless Chromium renders it, and every
// picture it links decodes.

#include "service/QuorvantisServiceGetter.h"
#include "tests/clocking/ClockingTestSupport.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <regex>
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
    const std::regex rowPattern(R"re(<tr id="entry-(\d+)">([\s\S]*?)</tr>)re");
    std::vector<std::pair<std::string, std::string>> rows;
    for (std::sregex_iterator it(page.dom.begin(), page.dom.end(), rowPattern), end; it != end;
         ++it) {
        rows.emplace_back((*it)[1].str(), (*it)[2].str());
    }
    ASSERT_EQ(rows.size(), 3u) << page.dom;
    EXPECT_EQ(rows[0].first, "3");
    EXPECT_NE(rows[0].second.find("&lt;b&gt;Eve&lt;/b&gt; &amp; \"co\""), std::string::npos)
        << rows[0].second;
    EXPECT_EQ(rows[0].second.find("<b>"), std::string::npos) << "request text became markup";
    EXPECT_NE(rows[0].second.find("Usuario no registrado: &lt;b&gt;Eve"), std::string::npos);
    EXPECT_NE(rows[1].second.find("Egreso registrado: Ana Pérez"), std::string::npos)
        << rows[1].second;

    // The newest known clock-in links its print and its photograph, and both decode.
    const std::regex imagePattern(R"re(<img src="([^"]+)")re");
    httplib::Client client("127.0.0.1", service.port());
    int pictures = 0;
    for (std::sregex_iterator it(rows[1].second.begin(), rows[1].second.end(), imagePattern), end;
         it != end; ++it, ++pictures) {
        const auto reply = client.Get((*it)[1].str().c_str());
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 200);
        EXPECT_TRUE(decodesAsJpeg(reply->body)) << (*it)[1];
    }
    EXPECT_EQ(pictures, 2);
}

} // namespace
} // namespace qv::test
