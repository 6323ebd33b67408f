// Decoding files written by other encoders must reproduce their reference reconstructions to
// within one gray level per pixel.

#include "imaging/PgmFile.h"
#include "platform/Files.h"
#include "wsq/Wsq.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace fs = std::filesystem;

const fs::path kTestData = QV_TESTDATA_DIR;

struct Case {
    std::string wsq;       // relative to the test data folder
    std::string reference; // the expected reconstruction, a PGM
};

std::string caseName(const testing::TestParamInfo<Case>& info) {
    std::string name = fs::path(info.param.wsq).filename().string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

class DecoderConformance : public testing::TestWithParam<Case> {};

TEST_P(DecoderConformance, ReproducesReferenceWithinOneGrayLevel) {
    const auto data = qv::readFileBytes(kTestData / GetParam().wsq);
    const auto expected = qv::parsePgm(qv::readFileBytes(kTestData / GetParam().reference));

    const qv::wsq::Image image = qv::wsq::decode(data);

    ASSERT_EQ(image.width, expected.width);
    ASSERT_EQ(image.height, expected.height);
    ASSERT_EQ(image.pixels.size(), expected.pixels.size());
    std::size_t differing = 0;
    int worst = 0;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const int difference = std::abs(image.pixels[i] - expected.pixels[i]);
        differing += difference != 0 ? 1 : 0;
        worst = std::max(worst, difference);
    }
    RecordProperty("differing_pixels", static_cast<int>(differing));
    std::cout << GetParam().wsq << ": " << differing << " of " << image.pixels.size()
              << " pixels differ, by at most " << worst << "\n";
    EXPECT_LE(worst, 1);
    // The compliance rule: at least 99.9 % of the pixels identical.
    EXPECT_LE(differing * 1000, image.pixels.size());
}

std::vector<Case> conformanceCases() {
    std::vector<Case> cases;
    for (const auto& entry : fs::directory_iterator(kTestData / "wsq")) {
        const std::string name = entry.path().filename().string();
        const auto ends = [&name](const std::string& suffix) {
            return name.size() > suffix.size() &&
                   name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
        };
        const std::string stem = name.substr(0, name.find('.'));
        if (ends(".nbis.wsq")) {
            cases.push_back({"wsq/" + name, "wsq/" + stem + ".nbis.pgm"});
        } else if (ends(".src.wsq")) {
            cases.push_back({"wsq/" + name, "wsq/" + stem + ".pgm"});
        }
    }
    for (const auto& entry : fs::directory_iterator(kTestData / "wsq-filters")) {
        if (entry.path().extension() == ".wsq") {
            const std::string stem = entry.path().stem().string();
            cases.push_back({"wsq-filters/" + stem + ".wsq", "wsq-filters/" + stem + ".ref.pgm"});
        }
    }
    std::sort(cases.begin(), cases.end(),
              [](const Case& a, const Case& b) { return a.wsq < b.wsq; });
    return cases;
}

INSTANTIATE_TEST_SUITE_P(SharedTestData, DecoderConformance, testing::ValuesIn(conformanceCases()),
                         caseName);

TEST(DecoderConformanceData, CoversEveryReferenceFile) {
    // 13 reference-encoder files, 4 from other encoders, 6 with other filter banks.
    EXPECT_EQ(conformanceCases().size(), 23u);
}

} // namespace
