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

TEST(Utf8Encode, Table) {
    struct {
        uint32_t code_point;
        int32_t error;
        std::string bytes;
    } cases[] = {
        {0x41, 0, "A"},        {0x7F, 0, "\x7F"},
        {0x80, 0, "\xC2\x80"}, {0xE000, 0, "\xEE\x80\x80"},
        {0xD800, 4, ""},       {0xDFFF, 4, ""},
        {0x110000, 4, ""},     {0x10FFFF, 0, "\xF4\x8F\xBF\xBF"},
    };
    for (auto& c : cases) {
        uint8_t out[4] = {};
        uint8_t count = 9;
        int32_t error = 0;
        utf8_encode(out, out + 4, c.code_point, &count, &error);
        EXPECT_EQ(error, c.error) << c.code_point;
        EXPECT_EQ(count, c.bytes.size());
        EXPECT_EQ(std::string((char*)out, error ? 0 : count), c.bytes);
    }
}

// The columns of a place, as gcc and Visual Studio count them: tab stops,
// wide and zero-width characters at the ends of their ranges, and bytes
// that make no character, one each once the next byte shows it.
TEST(Utf8Columns, Table) {
    struct {
        std::string line;
        uint64_t display, characters;
    } cases[] = {
        {"ab", 2, 2},
        {"ab\t", 8, 3},
        {"12345678\t\t", 24, 10},
        {"\xc3\xa9\xcc\x80\xcd\xaf\xcd\xb0", 2, 4},       // e-acute, U+0300, U+036F, U+0370
        {"\xe1\x84\x80\xe1\x85\x9f\xe1\x85\xa0", 5, 3},   // U+1100, U+115F, U+1160
        {"\xe2\x80\x8b\xef\xbb\xbf\t", 8, 3},             // zero width: U+200B, U+FEFF
        {"\xf0\x9f\x98\x80\xf0\xa0\x80\x80", 4, 4},       // U+1F600, U+20000
        {"\xe6\xbcx\xffx\xed\xa0\x80x\xc0\xafx", 12, 12}, // cut, stray, surrogate, overlong
        {"\xe6\xbc\t", 8, 3},                             // a cut sequence ends before a tab
    };
    for (auto& c : cases) {
        utf8_columns_t columns{};
        for (char byte : c.line)
            utf8_columns_add(&columns, (uint8_t)byte);
        EXPECT_EQ(columns.display, c.display) << c.line;
        EXPECT_EQ(columns.characters, c.characters) << c.line;
    }
}

TEST(Utf8Encode, CountOnlyShortOutputAndStickyError) {
    uint8_t out[4] = {1, 2, 3, 4};
    uint8_t count = 0;
    int32_t error = 0;
    utf8_encode(nullptr, nullptr, 0x20AC, &count, &error);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(error, 0);
    utf8_encode(out, out + 2, 0x20AC, &count, &error);
    EXPECT_EQ(error, 3);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(out[0], 1); // nothing written
    count = 77;
    utf8_encode(out, out + 4, 0x41, &count, &error);
    EXPECT_EQ(count, 77); // entered with an error: untouched
    EXPECT_EQ(out[0], 1);
}

TEST(Utf16Decode, Table) {
    struct {
        std::vector<uint8_t> bytes;
        int big_endian;
        uint32_t code_point;
        uint8_t units;
        int32_t error;
    } cases[] = {
        {{0x3D, 0xD8, 0x00, 0xDE}, 0, 0x1F600, 2, 0},
        {{0x00, 0xDE}, 0, CODE_POINT_NONE, 2, 2},
        {{0x00, 0xDC, 0x41, 0x00}, 0, CODE_POINT_NONE, 2, 7},
        {{0x3D, 0xD8, 0x41, 0x00}, 0, CODE_POINT_NONE, 2, 7},
        {{0x41}, 0, CODE_POINT_NONE, 1, 1},
        {{0x00, 0x41}, 1, 0x41, 1, 0},
        {{0x41, 0x00}, 0, 0x41, 1, 0},
        {{0xD8, 0x3D, 0xDE, 0x00}, 1, 0x1F600, 2, 0},
    };
    for (auto& c : cases) {
        uint32_t cp = 5;
        uint8_t units = 9;
        int32_t error = 0;
        utf16_decode(c.bytes.data(), c.bytes.data() + c.bytes.size(), &cp, &units, c.big_endian,
                     &error);
        EXPECT_EQ(cp, c.code_point);
        EXPECT_EQ(units, c.units);
        EXPECT_EQ(error, c.error);
        // Entered with an error, it leaves everything alone.
        cp = 5;
        units = 9;
        error = 1;
        utf16_decode(c.bytes.data(), c.bytes.data() + c.bytes.size(), &cp, &units, 0, &error);
        EXPECT_EQ(cp, 5u);
        EXPECT_EQ(units, 9);
    }
    EXPECT_EQ(utf16_read_unit((const uint8_t*)"\x12\x34", 1), 0x1234u);
    EXPECT_EQ(utf16_read_unit((const uint8_t*)"\x12\x34", 0), 0x3412u);
}

TEST(CodePoint, Validity) {
    for (uint32_t cp : {0u, 0xD7FFu, 0xE000u, 0x10FFFFu})
        EXPECT_TRUE(code_point_is_valid(cp)) << cp;
    for (uint32_t cp : {0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu, 0x110000u, 0xFFFFFFFFu})
        EXPECT_FALSE(code_point_is_valid(cp)) << cp;
}

} // namespace
