#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/log.h"
#include "tests/test_support.h"

namespace {

std::string bytes_at(uint64_t channel, uint64_t offset, uint64_t length) {
    return std::string((const char*)log_channel(channel)->block.data + offset, length);
}

TEST(Log, UnwrittenChannelsHaveNoBlock) {
    log_write(3, DATA_LITERAL("hello"));
    EXPECT_EQ(log_channel(3)->block.size, LOG_BLOCK_SIZE);
    for (uint64_t c = 4; c < LOG_CHANNEL_COUNT; ++c)
        EXPECT_EQ(log_channel(c)->block.size, 0u) << c;
}

TEST(Log, MessagesFollowEachOtherOverTheEndMarker) {
    const uint64_t ch = 4;
    std::string first(41, 'a'), second = "0123456789";
    log_write(ch, data_of(first));
    const log_channel_t* c = log_channel(ch);
    EXPECT_EQ(c->block.size, 5242880u);
    EXPECT_EQ(c->block.used, 41u);
    EXPECT_EQ(bytes_at(ch, 0, 41), first);
    EXPECT_EQ(bytes_at(ch, 41, 14), "## Log end ##\n");
    EXPECT_EQ(c->overflowed, 0u);
    log_write(ch, data_of(second));
    EXPECT_EQ(c->block.used, 51u);
    EXPECT_EQ(bytes_at(ch, 41, 10), second);
    EXPECT_EQ(bytes_at(ch, 51, 14), "## Log end ##\n");
    log_write(ch, data_of(std::string()));
    EXPECT_EQ(c->block.used, 51u);
    EXPECT_EQ(bytes_at(ch, 51, 14), "## Log end ##\n");
}

// The start-over test is strict: 10 + 14 bytes that would just fit still
// start the channel over; 9 do not.
TEST(Log, StartsOverWhenMessageAndEndMarkerDoNotFitWithAByteToSpare) {
    struct {
        uint64_t channel, length;
        bool starts_over;
    } cases[] = {{5, 10, true}, {6, 9, false}};
    for (auto& c : cases) {
        std::vector<char> filler(LOG_BLOCK_SIZE - 24, 'f');
        log_write(c.channel, data_of(filler));
        const log_channel_t* ch = log_channel(c.channel);
        ASSERT_EQ(ch->block.used, LOG_BLOCK_SIZE - 24);
        std::string message(c.length, 'm');
        log_write(c.channel, data_of(message));
        if (c.starts_over) {
            EXPECT_EQ(ch->overflowed, 1u);
            EXPECT_EQ(bytes_at(c.channel, 0, 21), "## Log overflowed ##\n");
            EXPECT_EQ(bytes_at(c.channel, 21, 10), message);
            EXPECT_EQ(ch->block.used, 31u);
            EXPECT_EQ(bytes_at(c.channel, 31, 14), "## Log end ##\n");
            EXPECT_EQ(bytes_at(c.channel, 45, 4), "ffff"); // older text left in place
        } else {
            EXPECT_EQ(ch->overflowed, 0u);
            EXPECT_EQ(ch->block.used, LOG_BLOCK_SIZE - 15);
            EXPECT_EQ(bytes_at(c.channel, LOG_BLOCK_SIZE - 15, 14), "## Log end ##\n");
        }
    }
}

TEST(Log, PushBlockNeedsAnOpenChannel) {
    EXPECT_EQ(log_push_block(9, 8).data, nullptr);
    log_ensure(9);
    data_t sub = log_push_block(9, 8);
    EXPECT_NE(sub.data, nullptr);
    EXPECT_EQ(sub.size, 8u);
}

TEST(Log, OversizedMessageIsDropped) {
    std::vector<char> huge(LOG_BLOCK_SIZE, 'h');
    log_write(10, data_of(huge));
    const log_channel_t* c = log_channel(10);
    EXPECT_EQ(c->block.used, 0u);
    EXPECT_EQ(c->overflowed, 0u);
}

} // namespace
