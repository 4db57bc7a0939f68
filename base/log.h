#pragma once

#include "base/data.h"

// In-memory text logs: each channel appends messages to a 5 MiB block it
// obtains on first use, keeps an end marker after the last one and starts
// over from the beginning (with an overflow marker) when a message no longer
// fits. Nothing writes them out; they are there for a debugger to read.
const uint64_t LOG_CHANNEL_COUNT = 16;
const uint64_t LOG_BLOCK_SIZE = 0x500000;

struct log_channel_t {
    data_t block;
    uint32_t overflowed;
};

// log_write appends the text's used bytes to the channel, then the end
// marker, starting the channel over when they do not fit.
void log_write(uint64_t channel, data_t text);
// log_ensure gives the channel its block if it has none yet.
void log_ensure(uint64_t channel);
// log_make_room makes sure n bytes and the end marker fit after the live
// text, starting the channel over (with the overflow marker) when not.
void log_make_room(uint64_t channel, uint64_t n);
// log_mark_end writes the end marker after the live text.
void log_mark_end(uint64_t channel);
// log_push_block returns n bytes of the channel's block as a sub-block, or
// the empty record.
data_t log_push_block(uint64_t channel, uint64_t n);

// log_channel returns the channel's record, for inspection.
const log_channel_t* log_channel(uint64_t channel);
