// The service's Base64 check: what a SOAP peer may send as xs:string Base64 text, and what
// it may not.

#include "tools/clocking-service/FicharRequest.h"

#include <gtest/gtest.h>

namespace qv::clocking {
namespace {

TEST(StrictBase64Test, AcceptsPaddedGroupsWithWhiteSpaceAndRefusesEverythingElse) {
    struct Case {
        const char* text;
        bool ok;
        std::string bytes;
    };
    const std::vector<Case> cases{
        {"QUJD", true, "ABC"},
        {"QUI=", true, "AB"},
        {"QQ==", true, "A"},
        {" QU\r\nJD\tQQ==\r\n", true, "ABCA"},
        {"", true, ""},
        {"QUJ", false, ""},      // unpadded partial group
        {"Q===", false, ""},     // one character of a group
        {"QQ=", false, ""},      // short padding
        {"QQ==QUJD", false, ""}, // data after the padding
        {"=QUJD", false, ""},
        {"QU*D", false, ""},
        {"QUJD\xC3\xA9", false, ""},
    };
    for (const Case& c : cases) {
        const auto decoded = decodeStrictBase64(c.text, 1024);
        EXPECT_EQ(decoded.ok, c.ok) << c.text;
        EXPECT_EQ(std::string(decoded.bytes.begin(), decoded.bytes.end()), c.bytes) << c.text;
    }
    EXPECT_TRUE(decodeStrictBase64("QUJD", 3).ok);
    EXPECT_FALSE(decodeStrictBase64("QUJDQQ==", 3).ok) << "over the limit";
    EXPECT_TRUE(decodeStrictBase64("QUJDQQ==", 4).ok) << "a padded group up to the limit";
    EXPECT_FALSE(decodeStrictBase64("QUJDQUI=", 4).ok) << "a padded group past the limit";
}

} // namespace
} // namespace qv::clocking
