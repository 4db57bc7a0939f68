#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "base/format.h"

namespace {

// Formats into a guarded buffer and checks that nothing lands past capacity.
template <typename F> std::string guarded(uint64_t capacity, F format) {
    uint8_t buffer[96];
    std::memset(buffer, '#', sizeof buffer);
    uint64_t n = format(buffer, capacity);
    EXPECT_LE(n, capacity);
    for (uint64_t i = capacity; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], '#') << i;
    return std::string((char*)buffer, n);
}

std::string run_unsigned(uint64_t value, uint64_t width, char pad, uint32_t flags,
                         uint64_t capacity = 64) {
    return guarded(capacity, [&](uint8_t* b, uint64_t c) {
        return format_unsigned(b, c, value, width, (uint8_t)pad, flags);
    });
}

std::string run_signed(int64_t value, uint64_t width, char pad, uint32_t flags,
                       uint64_t capacity = 64) {
    return guarded(capacity, [&](uint8_t* b, uint64_t c) {
        return format_signed(b, c, value, width, (uint8_t)pad, flags);
    });
}

std::string run_fraction(double value, uint32_t width, char pad, uint32_t decimals, uint32_t flags,
                         uint64_t capacity = 64) {
    return guarded(capacity, [&](uint8_t* b, uint64_t c) {
        return format_fraction(b, c, value, width, (uint8_t)pad, decimals, flags);
    });
}

const uint32_t HEX = FORMAT_HEX;

TEST(FormatUnsigned, Table) {
    struct {
        uint64_t value, width;
        char pad;
        uint32_t flags;
        uint64_t capacity;
        const char* expected;
    } cases[] = {
        {0, 0, 0, 0, 64, "0"},
        {0, 0, 0, HEX, 64, "0x0"},
        {0, 0, 0, HEX | FORMAT_MIN_DIGITS_2, 64, "0x00"},
        {1234567, 0, 0, FORMAT_GROUP_3, 64, "1 234 567"},
        {1234567, 12, ' ', FORMAT_GROUP_3, 64, "   1 234 567"},
        {123456, 10, ' ', FORMAT_GROUP_3, 64, "   123 456"},
        {1234567, 12, ' ', FORMAT_GROUP_3 | FORMAT_PAD_AFTER, 64, "1 234 567   "},
        {18446744073709551615ull, 0, 0, FORMAT_GROUP_3, 64, "18 446 744 073 709 551 615"},
        {18446744073709551615ull, 0, 0, 0, 64, "18446744073709551615"},
        {10, 0, 0, 0, 64, "10"}, // powers of ten: one digit more than the value below
        {1000, 0, 0, FORMAT_GROUP_3, 64, "1 000"},
        {10000000000000000000ull, 0, 0, 0, 64, "10000000000000000000"},
        {0x100, 0, 0, HEX, 64, "0x100"},
        {18446744073709551615ull, 0, 0, HEX, 64, "0xffffffffffffffff"},
        {255, 0, 0, HEX, 64, "0xff"},
        {255, 0, 0, HEX | FORMAT_NO_PREFIX, 64, "ff"},
        {255, 0, 0, HEX | FORMAT_MIN_DIGITS_2 | FORMAT_GROUP_2, 64, "0xff"},
        {0xabc, 0, 0, HEX | FORMAT_MIN_DIGITS_4 | FORMAT_GROUP_2, 64, "0x0a bc"},
        {0xabc, 0, 0, HEX | FORMAT_MIN_DIGITS_8 | FORMAT_GROUP_4, 64, "0x0000 0abc"},
        {0x12345, 0, 0, HEX | FORMAT_GROUP_4, 64, "0x1 2345"},
        {0x1, 0, 0, HEX | FORMAT_MIN_DIGITS_16 | FORMAT_GROUP_8, 64, "0x00000000 00000001"},
        {0x123, 0, 0, HEX | FORMAT_MIN_DIGITS_2, 64, "0x123"}, // never fewer than digits
        {42, 6, '0', FORMAT_PLUS, 64, "000+42"},
        {42, 6, '0', FORMAT_PLUS | FORMAT_SIGN_FIRST, 64, "+00042"},
        {42, 6, '.', FORMAT_PLUS | FORMAT_PAD_AFTER, 64, "+42..."},
        {42, 1, '.', 0, 64, "42"}, // width below the length adds nothing
        {1234567, 12, ' ', FORMAT_GROUP_2, 64, "     1 23 45 67"},
        {1234, 0, 0, FORMAT_MIN_DIGITS_8, 64, "1234"}, // minimum digits are hex only
        // Short buffers keep the least significant digits.
        {12345, 0, 0, 0, 3, "345"},
        {255, 0, 0, HEX, 2, "0x"},
        {255, 0, 0, HEX, 3, "0xf"},
        {12345, 0, 0, FORMAT_PLUS, 0, ""},
        {12345, 0, 0, FORMAT_PLUS, 4, "+345"},
        {1234567, 0, 0, FORMAT_GROUP_3, 5, " 4 67"}, // blanks fit where digits do not
    };
    for (auto& c : cases)
        EXPECT_EQ(run_unsigned(c.value, c.width, c.pad, c.flags, c.capacity), c.expected)
            << c.value << " flags " << c.flags << " capacity " << c.capacity;
}

TEST(FormatSigned, Table) {
    const int64_t MIN = std::numeric_limits<int64_t>::min();
    struct {
        int64_t value;
        uint64_t width;
        char pad;
        uint32_t flags;
        uint64_t capacity;
        const char* expected;
    } cases[] = {
        {-1, 0, 0, 0, 64, "-1"},
        {0, 0, 0, FORMAT_PLUS, 64, "+0"},
        {-42, 6, '0', 0, 64, "000-42"},
        {-42, 6, '0', FORMAT_SIGN_FIRST, 64, "-00042"},
        {-42, 6, ' ', FORMAT_PAD_AFTER, 64, "-42   "},
        {-255, 10, ' ', HEX, 64, "     -0xff"},
        {-255, 10, '0', HEX | FORMAT_SIGN_FIRST, 64, "-000000xff"},
        {MIN, 0, 0, 0, 64, "-9223372036854775808"},
        {MIN, 0, 0, HEX, 64, "-0x8000000000000000"},
        {MIN, 0, 0, 0, 4, "-808"},
        {-42, 0, 0, 0, 2, "-2"},
        {9223372036854775807ll, 0, 0, FORMAT_PLUS, 64, "+9223372036854775807"},
    };
    for (auto& c : cases)
        EXPECT_EQ(run_signed(c.value, c.width, c.pad, c.flags, c.capacity), c.expected)
            << c.value << " flags " << c.flags << " capacity " << c.capacity;
}

// Every capacity from 0 up to the full length: never more than the
// capacity, and always the tail of the full text when digits are cut.
TEST(FormatUnsigned, EveryCapacityStaysInBounds) {
    for (uint32_t flags :
         {0u, HEX, HEX | FORMAT_GROUP_2 | FORMAT_MIN_DIGITS_16, FORMAT_GROUP_3 | FORMAT_PLUS}) {
        std::string full = run_unsigned(9876543210123ull, 30, '*', flags, 64);
        for (uint64_t capacity = 0; capacity <= full.size(); ++capacity)
            run_unsigned(9876543210123ull, 30, '*', flags, capacity);
    }
}

TEST(DataAppendUnsigned, CutsToTheRoomLeft) {
    uint8_t bytes[8] = {};
    data_t block = data_make(8, 6, bytes);
    EXPECT_EQ(data_append_unsigned(&block, 12345, 0, 0, 0), 2u);
    EXPECT_EQ(block.used, 8u);
    EXPECT_EQ(std::string((char*)bytes + 6, 2), "45");
    EXPECT_EQ(data_append_unsigned(&block, 7, 0, 0, 0), 0u);
}

TEST(FormatFraction, Table) {
    struct {
        double value;
        uint32_t width;
        char pad;
        uint32_t decimals, flags;
        uint64_t capacity;
        const char* expected;
    } cases[] = {
        {1.5, 0, 0, 3, 0, 64, "1.500"},
        {3.0, 0, 0, 3, 0, 64, "3.000"},
        {0.05, 0, 0, 3, 0, 64, "0.050"},
        {0.001, 0, 0, 3, 0, 64, "0.001"},
        {-1.5, 0, 0, 3, 0, 64, "-1.500"},
        {-0.5, 0, 0, 3, 0, 64, "-0.500"},
        {3.25, 0, 0, 0, 0, 64, "3"},
        {3.25, 6, '.', 2, 0, 64, ".....3.25"},
        {3.25, 6, '.', 2, FORMAT_PAD_AFTER, 64, "3.25....."},
        {12.0625, 0, 0, 4, FORMAT_PLUS, 64, "+12.0625"},
        {2.0 / 3.0, 0, 0, 3, 0, 64, "0.666"},
        {1.005, 0, 0, 2, 0, 64, "1.00"},
        {-0.25, 5, ' ', 2, 0, 64, "   -0.25"},
        {1.5, 0, 0, 3, 0, 3, "1.0"}, // the decimals keep their last digit
        {123.456, 0, 0, 3, 0, 0, ""},
        // Outside the range of the integer part: a word, never a bad conversion.
        {1e300, 0, 0, 3, 0, 64, "inf"},
        {-1e300, 0, 0, 3, 0, 64, "-inf"},
        {std::numeric_limits<double>::infinity(), 0, 0, 3, 0, 64, "inf"},
        {-std::numeric_limits<double>::infinity(), 0, 0, 3, 0, 2, "-i"},
        {std::nan(""), 0, 0, 3, 0, 64, "nan"},
        {9223372036854775808.0, 0, 0, 1, 0, 64, "inf"},
    };
    for (auto& c : cases)
        EXPECT_EQ(run_fraction(c.value, c.width, c.pad, c.decimals, c.flags, c.capacity),
                  c.expected)
            << c.value << " decimals " << c.decimals << " capacity " << c.capacity;
}

TEST(FormatFraction, ManyDecimalsStayInBounds) {
    for (uint64_t capacity = 0; capacity < 40; ++capacity)
        run_fraction(0.123456789, 0, 0, 30, 0, capacity);
}

TEST(FormatByteSize, Table) {
    struct {
        uint64_t value;
        const char* expected;
    } cases[] = {
        {0, "0 o"},
        {1023, "1023 o"},
        {1024, "1.000 Kio"},
        {1536, "1.500 Kio"},
        {1048575, "1023.999 Kio"},
        {1048576, "1.000 Mio"},
        {999999, "976.561 Kio"},
        {1000000000000ull, "931.322 Gio"},
        {1ull << 40, "1.000 Tio"},
        {18446744073709551615ull, "16777216.000 Tio"},
    };
    for (auto& c : cases) {
        uint8_t buffer[32];
        uint64_t n = format_byte_size(c.value, buffer, sizeof buffer);
        EXPECT_EQ(std::string((char*)buffer, n), c.expected) << c.value;
    }
}

TEST(DataPushByteSize, TakesExactlyTheTextFromTheArena) {
    alignas(8) uint8_t bytes[64];
    data_t arena = data_make(sizeof bytes, 3, bytes);
    data_t text = data_push_byte_size(1536, &arena);
    EXPECT_EQ(text.size, 9u);
    EXPECT_EQ(text.used, 9u);
    EXPECT_EQ(text.data, bytes + 3);
    EXPECT_EQ(std::string((char*)text.data, 9), "1.500 Kio");
    EXPECT_EQ(arena.used, 12u);

    data_t small = data_make(15, 0, bytes);
    data_t none = data_push_byte_size(1536, &small);
    EXPECT_EQ(none.data, nullptr);
    EXPECT_EQ(none.used, 0u);
    EXPECT_EQ(small.used, 0u);
}

} // namespace
