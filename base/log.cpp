#include "base/log.h"

#include "base/check.h"
#include "base/threads.h"

namespace {

log_channel_t channels[LOG_CHANNEL_COUNT];

// A push that fails reports here, and pushes fail on any thread: one
// message is written at a time. Under the lock nothing is called that could
// report back into the log (the room is checked, then bytes are copied), so
// the writer never waits for itself.
threads_lock_t writing;

const char OVERFLOW_MARKER[] = "## Log overflowed ##\n";
const char END_MARKER[] = "## Log end ##\n";
const uint64_t OVERFLOW_MARKER_LENGTH = sizeof OVERFLOW_MARKER - 1;
const uint64_t END_MARKER_LENGTH = sizeof END_MARKER - 1;

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
    data_append_bytes(&c->block, OVERFLOW_MARKER, OVERFLOW_MARKER_LENGTH);
}

void log_mark_end(uint64_t channel) {
    log_channel_t* c = channel_at(channel);
    if (!channel_usable(c)) return;
    if (data_append_bytes(&c->block, END_MARKER, END_MARKER_LENGTH))
        c->block.used -= END_MARKER_LENGTH;
}

namespace {

void put(log_channel_t* c, const void* bytes, uint64_t n) {
    bytes_copy(c->block.data + c->block.used, bytes, n);
    c->block.used += n;
}

} // namespace

void log_write(uint64_t channel, data_t text) {
    log_channel_t* c = channel_at(channel);
    threads_lock(&writing);
    log_ensure(channel); // an OS block: nothing that reports
    // A message the block cannot hold even after a start-over is dropped.
    const int fits = c->block.used + text.used + END_MARKER_LENGTH < c->block.size ||
                     OVERFLOW_MARKER_LENGTH + text.used + END_MARKER_LENGTH <= c->block.size;
    if (channel_usable(c) && fits) {
        if (c->block.used + text.used + END_MARKER_LENGTH >= c->block.size) {
            c->overflowed = 1;
            c->block.used = 0;
            put(c, OVERFLOW_MARKER, OVERFLOW_MARKER_LENGTH);
        }
        put(c, text.data, text.used);
        // The end marker follows the text but is not counted: the next
        // message writes over it.
        bytes_copy(c->block.data + c->block.used, END_MARKER, END_MARKER_LENGTH);
    }
    threads_unlock(&writing);
}

data_t log_push_block(uint64_t channel, uint64_t n) {
    return data_push_block(&channel_at(channel)->block, n, 1);
}

const log_channel_t* log_channel(uint64_t channel) { return channel_at(channel); }
