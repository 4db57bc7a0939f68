#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf.h"

namespace {

// Paths go to the Windows calls as UTF-16 and come back as UTF-8: every
// well-formed name must survive the round, and ill-formed UTF-8 must be
// refused rather than guessed at.
TEST(Utf8ToUtf16, WellFormedTextsRoundTrip) {
    const char* texts[] = {
        "",
        "ascii",
        "caf\xC3\xA9",
        "\xE2\x82\xAC",
        "\xF0\x9F\x98\x80",
        "\xEF\xBF\xBF",
        "\xF4\x8F\xBF\xBF",
        "a\xC2\x80z",
    };
    const size_t units[] = {0, 5, 4, 1, 2, 1, 2, 3};
    for (size_t i = 0; i < sizeof texts / sizeof texts[0]; ++i) {
        std::vector<uint16_t> wide(16, 0xAAAA);
        ASSERT_EQ(utf8_to_utf16(texts[i], wide.data(), 16), (int32_t)units[i]) << texts[i];
        EXPECT_EQ(wide[units[i]], 0);
        char back[32];
        EXPECT_EQ(utf16_to_utf8(wide.data(), back, sizeof back),
                  (int32_t)std::string(texts[i]).size());
        EXPECT_EQ(std::string(back), texts[i]);
    }
    uint16_t pair[3];
    ASSERT_EQ(utf8_to_utf16("\xF0\x9F\x98\x80", pair, 3), 2);
    EXPECT_EQ(pair[0], 0xD83D);
    EXPECT_EQ(pair[1], 0xDE00);
}

TEST(Utf8ToUtf16, IllFormedOrTooLongIsRefused) {
    const char* texts[] = {
        "\x80",             // continuation first
        "\xC3",             // cut at the end
        "\xC3(",            // cut by another byte
        "\xC0\xAF",         // overlong '/'
        "\xE0\x80\xAF",     // overlong, three bytes
        "\xED\xA0\x80",     // a surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xFF",
        "\xE9t\xE9", // Latin-1, not UTF-8
    };
    for (const char* text : texts) {
        uint16_t wide[8];
        EXPECT_EQ(utf8_to_utf16(text, wide, 8), -1) << text;
    }
    uint16_t small[3];
    EXPECT_EQ(utf8_to_utf16("abc", small, 3), -1); // no room for the zero
    EXPECT_EQ(utf8_to_utf16("ab", small, 3), 2);
    EXPECT_EQ(utf8_to_utf16("a\xF0\x9F\x98\x80", small, 3), -1); // a pair does not split
}

TEST(Utf16ToUtf8, LoneSurrogatesBecomeReplacementsAndRoomIsKept) {
    const uint16_t lone[] = {'a', 0xD800, 'b', 0xDC00, 0};
    char out[16];
    ASSERT_EQ(utf16_to_utf8(lone, out, sizeof out), 8);
    EXPECT_EQ(std::string(out), "a\xEF\xBF\xBD"
                                "b\xEF\xBF\xBD");
    const uint16_t e_acute[] = {0xE9, 0};
    EXPECT_EQ(utf16_to_utf8(e_acute, out, 2), -1); // two bytes and the zero need three
    EXPECT_EQ(utf16_to_utf8(e_acute, out, 3), 2);
    EXPECT_EQ(utf16_to_utf8(e_acute, out, 0), -1);
}

} // namespace
