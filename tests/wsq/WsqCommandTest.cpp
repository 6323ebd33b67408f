// The `wsq` command run as a child process, the way a user or a script runs it.

#include "imaging/PgmFile.h"
#include "platform/Files.h"
#include "tests/support/ChildRun.h"
#include "tests/support/TempFolder.h"
#include "tools/wsq/Comparison.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string output; // standard output and standard error together
};

Result runWsq(const std::vector<std::string>& arguments) {
    qv::test::ChildRunOptions options;
    options.errorIntoOutput = true;
    const auto outcome = qv::test::runAndCapture(WSQ_COMMAND, arguments, options);
    return {outcome.exitCode, outcome.out};
}

// For arguments that are the test's own paths and words, which need no quoting.
Result runWsq(const std::string& arguments) {
    return runWsq(qv::test::blankSeparated(arguments));
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class WsqCommand : public testing::Test {
protected:
    std::string path(const std::string& name) const { return folder_.path(name); }

    // A 300 x 211 gray picture with ridges, written as PGM.
    qv::GrayRaster writeSample(const std::string& name) const {
        qv::GrayRaster image{300, 211, {}};
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                image.pixels.push_back(
                    static_cast<std::uint8_t>(128 + 100 * std::sin((x * 0.7 + y * 0.5) / 1.8)));
            }
        }
        qv::writeFileBytes(path(name), qv::formatPgm(image));
        return image;
    }

    qv::test::TempFolder folder_;
};

const std::string kSharedWsq = std::string(QV_TESTDATA_DIR) + "/wsq/fp11_scanner_256x360.nbis.wsq";

TEST_F(WsqCommand, EncodeDecodeRoundTripThroughPgmAndBmp) {
    const auto original = writeSample("in.pgm");
    const Result encoded = runWsq({"encode", path("in.pgm"), path("out.wsq"), "--rate", "1.5",
                                   "--ppi", "1000", "--comment", "clock-in test"});
    ASSERT_EQ(encoded.status, 0) << encoded.output;

    const Result info = runWsq("info " + path("out.wsq"));
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_TRUE(contains(info.output, "300 x 211")) << info.output;
    EXPECT_TRUE(contains(info.output, "ppi:       1000")) << info.output;
    EXPECT_TRUE(contains(info.output, "clock-in test")) << info.output;
    EXPECT_TRUE(contains(info.output, "SOF")) << info.output;

    for (const char* format : {"pgm", "bmp"}) {
        const std::string decoded = path(std::string("back.") + format);
        const Result result = runWsq("decode " + path("out.wsq") + " " + decoded);
        ASSERT_EQ(result.status, 0) << result.output;
        const Result compared = runWsq("compare " + path("in.pgm") + " " + decoded);
        ASSERT_EQ(compared.status, 0) << compared.output;
        EXPECT_TRUE(contains(compared.output, "PSNR:")) << compared.output;
    }
    const auto back = qv::parsePgm(qv::readFileBytes(path("back.pgm")));
    EXPECT_GT(qv::compareImages(original, back).psnr, 30.0);
    // The BMP written by decode holds the same pixels as the PGM.
    const Result same = runWsq("compare " + path("back.pgm") + " " + path("back.bmp"));
    EXPECT_TRUE(contains(same.output, "identical")) << same.output;
}

TEST_F(WsqCommand, RawInputNeedsAndUsesItsSize) {
    const auto original = writeSample("in.pgm");
    qv::writeFileBytes(path("in.raw"), original.pixels);
    EXPECT_EQ(runWsq("encode " + path("in.raw") + " " + path("a.wsq")).status, 1);
    EXPECT_EQ(runWsq("encode " + path("in.raw") + " " + path("a.wsq") + " --raw 300,210").status,
              1);
    ASSERT_EQ(runWsq("encode " + path("in.raw") + " " + path("a.wsq") + " --raw 300,211").status,
              0);
    ASSERT_EQ(runWsq("encode " + path("in.pgm") + " " + path("b.wsq")).status, 0);
    EXPECT_EQ(qv::readFileBytes(path("a.wsq")), qv::readFileBytes(path("b.wsq")));
}

TEST_F(WsqCommand, InfoReportsTheAchievedBitRate) {
    const Result info = runWsq("info " + kSharedWsq);
    ASSERT_EQ(info.status, 0) << info.output;
    // 8718 bytes for 256 x 360 pixels.
    EXPECT_TRUE(contains(info.output, "0.7568 bits/pixel")) << info.output;
    EXPECT_TRUE(contains(info.output, "ppi:       500")) << info.output;
}

TEST_F(WsqCommand, FailuresGoToStandardErrorWithNonZeroStatus) {
    const Result missing = runWsq("decode " + path("absent.wsq") + " " + path("x.pgm"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(contains(missing.output, "absent.wsq")) << missing.output;

    qv::writeFileBytes(path("broken.wsq"), std::vector<std::uint8_t>{0xFF, 0xA0, 0xFF, 0xA2});
    const Result broken = runWsq("decode " + path("broken.wsq") + " " + path("x.pgm"));
    EXPECT_EQ(broken.status, 1);
    EXPECT_TRUE(contains(broken.output, "SOF")) << broken.output;
    EXPECT_FALSE(fs::exists(path("x.pgm")));

    writeSample("a.pgm");
    const Result sizes = runWsq("compare " + path("a.pgm") + " " + kSharedWsq);
    EXPECT_EQ(sizes.status, 1);
    EXPECT_TRUE(contains(sizes.output, "differ in size")) << sizes.output;

    EXPECT_EQ(runWsq("transcode a b").status, 2);
    EXPECT_EQ(runWsq("encode " + path("a.pgm") + " " + path("a.wsq") + " --rate -1").status, 2);
    EXPECT_EQ(runWsq("encode " + path("a.pgm") + " " + path("a.wsq") + " --rate").status, 2);
    EXPECT_EQ(runWsq("decode " + kSharedWsq + " " + path("x.png")).status, 1);
}

TEST_F(WsqCommand, HelpDocumentsEveryCommand) {
    const Result help = runWsq("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* word :
         {"encode", "decode", "info", "compare", "--rate", "--ppi", "--raw", "--comment"}) {
        EXPECT_TRUE(contains(help.output, word)) << word;
    }
}

TEST(PgmFiles, HeaderVariantsAndDamage) {
    const std::string text = "P5\n# made by hand\n3 2\n255\n";
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.insert(bytes.end(), {1, 2, 3, 4, 5, 6});
    const auto image = qv::parsePgm(bytes);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.pixels, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(qv::parsePgm(qv::formatPgm(image)).pixels, image.pixels);

    bytes.pop_back();
    EXPECT_THROW(qv::parsePgm(bytes), qv::PgmError);
    const std::string wide = "P5 3 2 65535\n";
    EXPECT_THROW(qv::parsePgm(std::vector<std::uint8_t>(wide.begin(), wide.end())), qv::PgmError);
    const std::string ascii = "P2 1 1 255\n7";
    EXPECT_THROW(qv::parsePgm(std::vector<std::uint8_t>(ascii.begin(), ascii.end())), qv::PgmError);
}

TEST(ImageComparison, PsnrFollowsTheMeanSquaredError) {
    qv::GrayRaster a{2, 2, {10, 10, 10, 10}};
    qv::GrayRaster b{2, 2, {10, 12, 10, 10}}; // squared errors 0, 4, 0, 0: MSE 1
    const auto result = qv::compareImages(a, b);
    EXPECT_NEAR(result.psnr, 10 * std::log10(255.0 * 255.0), 1e-9);
    EXPECT_EQ(result.maxDifference, 2);
    EXPECT_EQ(result.differingPixels, 1u);
    EXPECT_TRUE(std::isinf(qv::compareImages(a, a).psnr));
    EXPECT_THROW(qv::compareImages(a, qv::GrayRaster{4, 1, {0, 0, 0, 0}}), std::invalid_argument);
}

} // namespace
