#include <gtest/gtest.h>

#include <string>

#include "base/data.h"
#include "base/log.h"

namespace {

// A small arena over a local buffer, with a start that is 8-aligned.
struct test_arena_t {
    alignas(64) uint8_t bytes[256];
    data_t make(uint64_t size, uint64_t used = 0) { return data_make(size, used, bytes); }
};

uint64_t log_used() { return log_channel(0)->block.used; }

std::string last_log_message(uint64_t length) {
    const log_channel_t* c = log_channel(0);
    return std::string((const char*)c->block.data + c->block.used - length, length);
}

TEST(DataRecord, IsTwentyFourBytesAndEmptyIsAllZero) {
    EXPECT_EQ(sizeof(data_t), 24u);
    data_t empty{};
    EXPECT_EQ(empty.size, 0u);
    EXPECT_EQ(empty.data, nullptr);
}

TEST(DataOs, ZeroBytesIsRefusedAndFreeOfRefusedChangesNothing) {
    data_t block = data_os_alloc(0, nullptr);
    EXPECT_EQ(block.data, nullptr);
    EXPECT_EQ(block.used, 0u);
    data_os_free(&block);
    EXPECT_EQ(block.data, nullptr);
}

TEST(DataOs, BlockIsZeroFilledWritableAndFreedToEmpty) {
    data_t block = data_os_alloc(1 << 20, nullptr);
    ASSERT_NE(block.data, nullptr);
    EXPECT_EQ(block.size, 1u << 20);
    for (uint64_t i = 0; i < block.size; i += 4096)
        EXPECT_EQ(block.data[i], 0);
    block.data[block.size - 1] = 7;
    data_os_free(&block);
    EXPECT_EQ(block.size, 0u);
    EXPECT_EQ(block.used, 0u);
    EXPECT_EQ(block.data, nullptr);
}

TEST(AlignPadding, Table) {
    struct {
        uint64_t address, alignment, padding;
    } cases[] = {{0, 8, 0}, {1, 8, 7}, {7, 8, 1},    {8, 8, 0},         {9, 1, 0},
                 {3, 2, 1}, {5, 4, 3}, {65, 64, 63}, {UINT64_MAX, 8, 1}};
    for (auto& c : cases)
        EXPECT_EQ(align_padding(c.address, c.alignment), c.padding)
            << c.address << "/" << c.alignment;
}

TEST(DataPush, ZeroBytesStillPadsAndAlignmentZeroIsEight) {
    test_arena_t t;
    data_t arena = t.make(64, 3);
    uint8_t* p = data_push(&arena, 0, 8);
    EXPECT_EQ(p, t.bytes + 8);
    EXPECT_EQ(arena.used, 8u);
    arena.used = 9;
    p = data_push(&arena, 4, 0);
    EXPECT_EQ(p, t.bytes + 16);
    EXPECT_EQ(arena.used, 20u);
}

TEST(DataPush, AlignmentOneNeverPads) {
    test_arena_t t;
    data_t arena = t.make(64, 0);
    for (uint64_t i = 1; i <= 5; ++i)
        EXPECT_EQ(data_push(&arena, i, 1), t.bytes + i * (i - 1) / 2);
}

TEST(DataPush, PaddingComesFromTheAddressNotTheOffset) {
    test_arena_t t;
    data_t arena = data_make(32, 0, t.bytes + 3); // unaligned start
    uint8_t* p = data_push(&arena, 1, 4);
    EXPECT_EQ((uintptr_t)p % 4, 0u);
    EXPECT_EQ(p, t.bytes + 4);
    EXPECT_EQ(arena.used, 2u);
}

TEST(DataPush, ExactFitSucceedsOneMoreFailsReportsOnceAndLeavesUsed) {
    test_arena_t t;
    data_t arena = t.make(16, 0);
    EXPECT_EQ(data_push(&arena, 16, 1), t.bytes);
    EXPECT_EQ(arena.used, 16u);
    arena.used = 8;
    uint64_t before = log_used();
    EXPECT_EQ(data_push(&arena, 9, 1), nullptr);
    EXPECT_EQ(arena.used, 8u);
    EXPECT_EQ(log_used(), before + 41);
    EXPECT_EQ(last_log_message(41), "***Out of memory in the data_t block.***\n");
    EXPECT_EQ(data_push(&arena, 8, 1), t.bytes + 8); // a smaller push still fits
}

TEST(DataPush, HugeRequestsDoNotWrapAround) {
    test_arena_t t;
    data_t arena = t.make(64, 5);
    EXPECT_EQ(data_push(&arena, UINT64_MAX, 1), nullptr);
    EXPECT_EQ(data_push(&arena, UINT64_MAX - 4, 8), nullptr);
    EXPECT_EQ(data_push_block(&arena, UINT64_MAX - 2, 8).data, nullptr);
    EXPECT_EQ(arena.used, 5u);
}

TEST(DataPushBlock, FullFitAndReportWithTrailingBlank) {
    test_arena_t t;
    data_t arena = t.make(32, 16);
    data_t sub = data_push_block(&arena, 16, 1);
    EXPECT_EQ(sub.size, 16u);
    EXPECT_EQ(sub.used, 0u);
    EXPECT_EQ(sub.data, t.bytes + 16);
    EXPECT_EQ(arena.used, 32u);
    uint64_t before = log_used();
    data_t none = data_push_block(&arena, 1, 1);
    EXPECT_EQ(none.data, nullptr);
    EXPECT_EQ(none.size, 0u);
    EXPECT_EQ(log_used(), before + 42);
    EXPECT_EQ(last_log_message(42), "***Out of memory in the data_t block.***\n ");
}

TEST(DataPushBlock, WideAlignments) {
    test_arena_t t;
    data_t arena = t.make(256, 1);
    data_t sub = data_push_block(&arena, 8, 64);
    EXPECT_EQ(sub.data, t.bytes + 64);
    EXPECT_EQ(arena.used, 72u);
}

TEST(DataPushRest, TakesAllRoomAfterAlignment) {
    test_arena_t t;
    struct {
        uint64_t size, used, alignment;
        bool empty;
        uint64_t rest_size, offset;
    } cases[] = {
        {64, 3, 8, false, 56, 8},  // padded then the rest
        {64, 64, 1, false, 0, 64}, // used + padding == size: no room, non-null
        {60, 57, 8, true, 0, 0},   // used + padding > size: nothing, no change
        {64, 0, 0, false, 64, 0},
    };
    for (auto& c : cases) {
        data_t arena = t.make(c.size, c.used);
        uint64_t logged = log_used();
        data_t rest = data_push_rest(&arena, c.alignment);
        EXPECT_EQ(log_used(), logged); // never reports
        if (c.empty) {
            EXPECT_EQ(rest.data, nullptr);
            EXPECT_EQ(arena.used, c.used);
        } else {
            EXPECT_EQ(rest.data, t.bytes + c.offset);
            EXPECT_EQ(rest.size, c.rest_size);
            EXPECT_EQ(rest.used, 0u);
            EXPECT_EQ(arena.used, c.size);
        }
    }
}

TEST(DataAppend, CopiesAndPopRestores) {
    test_arena_t t;
    data_t arena = t.make(64, 5);
    EXPECT_NE(data_append(&arena, "hello", 5, 1), nullptr);
    EXPECT_EQ(arena.used, 10u);
    EXPECT_EQ(std::string((char*)t.bytes + 5, 5), "hello");
    data_pop(&arena, 5);
    EXPECT_EQ(arena.used, 5u);
    data_t other = DATA_LITERAL("abc");
    EXPECT_EQ(data_append_data(&arena, &other, 8), t.bytes + 8);
    EXPECT_EQ(data_append_byte(&arena, 'z'), t.bytes + 11);
    EXPECT_EQ(t.bytes[11], 'z');
    EXPECT_EQ(data_append_bytes(&arena, nullptr, 3), t.bytes + 12); // safe copy of nothing
    data_t full = t.make(2, 2);
    EXPECT_EQ(data_append_byte(&full, 'x'), nullptr);
    EXPECT_EQ(data_append_bytes(&full, "ab", 2), nullptr);
}

TEST(Bytes, CopyZeroWithNullPointersDoesNothing) {
    bytes_copy(nullptr, nullptr, 0);
    bytes_copy_safe(nullptr, "x", 1);
    uint8_t out[3] = {0, 0, 0};
    bytes_copy_safe(out, "ab", 2);
    EXPECT_EQ(out[1], 'b');
    EXPECT_EQ(out[2], 0);
}

TEST(Bytes, BrokenPreconditionsTrap) {
    EXPECT_DEATH(bytes_copy(nullptr, "x", 1), "");
    EXPECT_DEATH(bytes_equal(nullptr, 1, "x", 1), "");
    test_arena_t t;
    data_t arena = t.make(64);
    EXPECT_DEATH(data_push(&arena, 1, 16), "");
    EXPECT_DEATH(data_push(&arena, 1, 3), "");
    EXPECT_DEATH(data_push_block(&arena, 1, 128), "");
    EXPECT_DEATH(data_pop(&arena, 1), "");
}

TEST(Bytes, EqualityTable) {
    data_t a = DATA_LITERAL("abc"), b = DATA_LITERAL("abcd"), c = data_make(3, 3, (void*)"abc");
    data_t e1{}, e2 = data_make(9, 0, (void*)"zz");
    EXPECT_FALSE(data_equal(&a, &b));
    EXPECT_TRUE(data_equal(&a, &c)); // size plays no part
    EXPECT_TRUE(data_equal(&e1, &e2));
    EXPECT_FALSE(bytes_equal("ABC", 3, "abc", 3)); // no case folding
}

TEST(StringFind, BoundsTable) {
    const uint8_t* text = (const uint8_t*)"xxaaayab";
    const uint8_t* end = text + 8;
    struct {
        const char* pattern;
        uint64_t length;
        int first, last; // offsets, 8 = end
    } cases[] = {
        {"aa", 2, 2, 3},       {"ab", 2, 6, 6}, // ends exactly at end
        {"b", 1, 7, 7},        {"", 0, 8, 8},   {"xxaaayabz", 9, 8, 8},
        {"xxaaayab", 8, 0, 0}, {"q", 1, 8, 8},  {"A", 1, 8, 8},
    };
    for (auto& c : cases) {
        EXPECT_EQ(string_find(text, end, c.pattern, c.length) - text, c.first) << c.pattern;
        EXPECT_EQ(string_find_last(text, end, c.pattern, c.length) - text, c.last) << c.pattern;
    }
    const uint8_t* aaa = (const uint8_t*)"aaa";
    EXPECT_EQ(string_find(aaa, aaa + 3, "aa", 2), aaa);
    EXPECT_EQ(string_find_last(aaa, aaa + 3, "aa", 2), aaa + 1);
    EXPECT_EQ(string_find(nullptr, end, "a", 1), end);
    EXPECT_EQ(string_find(text, nullptr, "a", 1), nullptr);
    EXPECT_EQ(string_find_last(text, text, "a", 1), text);
}

TEST(TextLength, NullEmptyAndText) {
    EXPECT_EQ(text_length(nullptr), 0u);
    EXPECT_EQ(text_length(""), 0u);
    EXPECT_EQ(text_length("tagloom"), 7u);
}

} // namespace
