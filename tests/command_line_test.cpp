#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/utf.h"

namespace {

std::vector<std::string> split(const std::u16string& text,
                               command_line_result_t* result = nullptr) {
    int32_t count = -1;
    command_line_result_t r;
    char** array = command_line_split_text((const uint16_t*)text.c_str(), &count, &r);
    if (result) *result = r;
    std::vector<std::string> out;
    if (!array) {
        EXPECT_EQ(count, 0);
        return out;
    }
    for (int32_t i = 0; i < count; ++i)
        out.emplace_back(array[i]);
    return out;
}

using args_t = std::vector<std::string>;

TEST(CommandLineSplit, QuotesAndBackslashes) {
    struct {
        std::u16string text;
        args_t args;
    } cases[] = {
        {u"p a b", {"p", "a", "b"}},
        {u"p \"a b\" c", {"p", "a b", "c"}},
        {u"p \"a\tb\" c", {"p", "a\tb", "c"}},
        {u"p a\\b", {"p", "a\\b"}},
        {u"p a\\\\\\\"b", {"p", "a\\\"b"}},
        {u"p a\\\\\"b c\"", {"p", "a\\b c"}},
        {u"p a\\\\ b", {"p", "a\\\\", "b"}},
        {u"p \"a\"\"b\"", {"p", "ab"}},
        {u"p \"\" x", {"p", "x"}},
        {u"  \t p \t\t a  ", {"p", "a"}},
        {u"p a\\\\", {"p", "a\\\\"}}, // trailing backslashes stay
        {u"\"C:\\Program Files\\t.exe\" -d", {"C:\\Program Files\\t.exe", "-d"}},
        {u"p a\nb\x00A0"
         u"c",
         {"p", "a\nb\xC2\xA0"
               "c"}}, // only space and tab separate
    };
    for (auto& c : cases)
        EXPECT_EQ(split(c.text), c.args);
}

TEST(CommandLineSplit, NonAsciiBecomesUtf8) {
    struct {
        std::u16string text;
        std::string arg;
    } cases[] = {
        {u"\x00E9", "\xC3\xA9"},
        {u"\x20AC", "\xE2\x82\xAC"},
        {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {u"\x07FF", "\xDF\xBF"},
        {u"\x0800", "\xE0\xA0\x80"},
        {u"\xFFFF", "\xEF\xBF\xBF"},
        {u"\xD800\xDC00", "\xF0\x90\x80\x80"},
        {u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
    };
    for (auto& c : cases)
        EXPECT_EQ(split(u"p " + c.text), (args_t{"p", c.arg}));
}

TEST(CommandLineSplit, FailuresAreResults) {
    struct {
        std::u16string text;
        command_line_result_t result;
    } cases[] = {
        {u"", COMMAND_LINE_LIMIT},
        {u"\"\"\"\"", COMMAND_LINE_LIMIT},
        {std::u16string(2048, u'a'), COMMAND_LINE_LIMIT},
        {u"p \xD800", COMMAND_LINE_ILL_FORMED},
        {u"p \xDC00 x", COMMAND_LINE_ILL_FORMED},
        {u"p \xD800x", COMMAND_LINE_ILL_FORMED},
        {std::u16string(2047, u'a'), COMMAND_LINE_OK},
    };
    for (auto& c : cases) {
        command_line_result_t r;
        split(c.text, &r);
        EXPECT_EQ(r, c.result) << c.text.size();
    }
}

TEST(CommandLineSplit, OnlySeparatorsGiveNoArgument) {
    command_line_result_t r;
    EXPECT_EQ(split(u"   \t ", &r), args_t{});
    EXPECT_EQ(r, COMMAND_LINE_OK);
}

TEST(CommandLineSplit, PointersShareTheBuffer) {
    // 1000 bytes of text: 500 one-letter arguments; 131 pointers fit after it.
    std::u16string text;
    for (int i = 0; i < 500; ++i)
        text += u"a ";
    int32_t count = 0;
    command_line_result_t r;
    char** array = command_line_split_text((const uint16_t*)text.c_str(), &count, &r);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(count, 131);
    EXPECT_EQ((char*)array - array[0], 1000);
}

TEST(CommandLineSplit, CharacterWithoutRoomIsLeftOut) {
    // 2046 ASCII bytes, then a 3-byte character that does not fit, then one
    // that does: the split goes on past the one left out.
    std::u16string text(2046, u'a');
    text += u"\x20AC"
            u"b";
    command_line_result_t r;
    args_t args = split(text, &r);
    EXPECT_EQ(r, COMMAND_LINE_OK);
    ASSERT_EQ(args.size(), 0u); // no pointer slot left after 2047 bytes
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
