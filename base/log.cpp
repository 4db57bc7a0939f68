#include "log.h"

#include "check.h"
#include "threads.h"

namespace {

log_channel_t channels[LOG_CHANNEL_COUNT];

// A push that fails reports here, and pushes fail on any thread: one
// message is written at a time. Writing never fails into another report
// (the room is checked first), so the writer never waits for itself.
bool writing;

void write_begin() {
    // The writer may be off its processor: spinning would only keep it off.
    for (uint32_t round = 0; __atomic_test_and_set(&writing, __ATOMIC_ACQUIRE); ++round)
        threads_pause(round);
}
void write_end() { __atomic_clear(&writing, __ATOMIC_RELEASE); }

const uint64_t END_MARKER_LENGTH = 14;

log_channel_t* channel_at(uint64_t channel) {
    CHECK(channel < LOG_CHANNEL_COUNT);
    return &channels[channel];
}

// True when the channel holds a block it may write through; a channel whose
// block the OS refused stays silent instead of writing through null.
int channel_usable(const log_channel_t* c) { return c->block.data != nullptr; }

} // namespace

void log_ensure(uint64_t channel) {
    log_channel_t* c = channel_at(channel);
    if (c->block.size == 0 || !c->block.data) c->block = data_os_alloc(LOG_BLOCK_SIZE, nullptr);
}

void log_make_room(uint64_t channel, uint64_t n) {
    log_ensure(channel);
    log_channel_t* c = channel_at(channel);
    if (!channel_usable(c)) return;
    if (c->block.used + n + END_MARKER_LENGTH < c->block.size) return;
    c->overflowed = 1;
    c->block.used = 0;
    data_t marker = DATA_LITERAL("## Log overflowed ##\n");
    data_append_bytes(&c->block, marker.data, marker.used);
}

void log_mark_end(uint64_t channel) {
    log_channel_t* c = channel_at(channel);
    if (!channel_usable(c)) return;
    data_t marker = DATA_LITERAL("## Log end ##\n");
    if (data_append_bytes(&c->block, marker.data, marker.used)) c->block.used -= marker.used;
}

void log_write(uint64_t channel, data_t text) {
    write_begin();
    log_ensure(channel);
    log_channel_t* c = channel_at(channel);
    // A message the block cannot hold even after a start-over is dropped:
    // appending it would fail and report to channel 0 again.
    const uint64_t overflow_marker_length = 21;
    const int fits = c->block.used + text.used + END_MARKER_LENGTH < c->block.size ||
                     overflow_marker_length + text.used + END_MARKER_LENGTH <= c->block.size;
    if (channel_usable(c) && fits) {
        log_make_room(channel, text.used);
        data_append_bytes(&c->block, text.data, text.used);
        log_mark_end(channel);
    }
    write_end();
}

data_t log_push_block(uint64_t channel, uint64_t n) {
    return data_push_block(&channel_at(channel)->block, n, 1);
}

const log_channel_t* log_channel(uint64_t channel) { return channel_at(channel); }
