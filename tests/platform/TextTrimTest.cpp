#include "platform/TextTrim.h"

#include <gtest/gtest.h>
#include <string>

namespace qv {
namespace {

TEST(TextTrim, RemovesOnlyTheGivenCharactersAndOnlyAtTheEnds) {
    struct Case {
        std::string_view text;
        bool (*removed)(char);
        std::string_view expected;
    };
    const Case cases[] = {
        {" \t a b \t ", isSpaceOrTab, "a b"},
        {"\r\nLocation: x\r\n", isLineBreak, "Location: x"},
        {" \t\x01\x7f 7 \x1f", isBlankOrControl, "7"},
        // The bytes of a character beyond ASCII are never taken for blanks or controls.
        {"\xc3\xa9 \xc2\x85", isBlankOrControl, "\xc3\xa9 \xc2\x85"},
        {" \t ", isSpaceOrTab, ""},
        {"", isLineBreak, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trimmed(c.text, c.removed), c.expected) << c.text;
    }
}

TEST(TextTrim, Utf16BlanksAndControlsIncludeTheC1Controls) {
    const auto removed = [](char16_t c) { return isBlankOrControl(c); };
    EXPECT_EQ(trimmed(std::u16string_view(u"\u0085 \u00e9 \u009f\u007f"), removed), u"\u00e9");
    EXPECT_EQ(trimmed(std::u16string_view(u"\u00a0x"), removed), u"\u00a0x");
}

} // namespace
} // namespace qv
