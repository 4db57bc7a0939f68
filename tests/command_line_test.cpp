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
        {u"p \"\" x", {"p", "", "x"}},
        {u"p  \"\"\t\"\"", {"p", "", ""}},
        {u"p a\"\"b \"\"\"\"", {"p", "ab", ""}},
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
        {std::u16string(2047, u'a'), COMMAND_LINE_LIMIT}, // no room left for its pointer
        {std::u16string(2039, u'a'), COMMAND_LINE_OK},
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
    // Arguments of 7 letters: 128 take 1024 bytes of text and 1024 of
    // pointers, the whole buffer; the 129th has no pointer left, and an
    // argument silently dropped would change what the run does.
    for (int n : {128, 129}) {
        std::u16string text;
        for (int i = 0; i < n; ++i)
            text += u"abcdefg ";
        int32_t count = 0;
        command_line_result_t r;
        char** array = command_line_split_text((const uint16_t*)text.c_str(), &count, &r);
        EXPECT_EQ(r, n == 128 ? COMMAND_LINE_OK : COMMAND_LINE_LIMIT) << n;
        EXPECT_EQ(count, n == 128 ? 128 : 0) << n;
        if (n == 128) {
            ASSERT_NE(array, nullptr);
            EXPECT_EQ((char*)array - array[0], 1024);
            EXPECT_STREQ(array[127], "abcdefg");
        }
    }
}

TEST(CommandLineSplit, CharacterWithoutRoomIsLeftOut) {
    // 2046 ASCII bytes, then a 3-byte character that does not fit, then one
    // that does: the split goes on past the one left out.
    std::u16string text(2046, u'a');
    text += u"\x20AC"
            u"b";
    command_line_result_t r;
    args_t args = split(text, &r);
    EXPECT_EQ(r, COMMAND_LINE_LIMIT); // no pointer slot left after 2047 bytes
    ASSERT_EQ(args.size(), 0u);
}

} // namespace
