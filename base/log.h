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

void log_write(uint64_t channel, data_t text);
void log_ensure(uint64_t channel);
// Kept for completeness of the base library and tested, though the tool
// itself does not call them: do not remove them as unused.
void log_make_room(uint64_t channel, uint64_t n);
void log_mark_end(uint64_t channel);
data_t log_push_block(uint64_t channel, uint64_t n);

// The channel's record, for inspection.
const log_channel_t* log_channel(uint64_t channel);
