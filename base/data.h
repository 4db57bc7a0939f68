#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/check.h"

// One record for every piece of memory and text: an OS block, an arena, a
// length-counted string or a sub-block of an arena.
struct data_t {
    uint64_t size; // capacity of the region starting at data
    uint64_t used; // bytes in use from the start of the region
    uint8_t* data; // first byte; null in the empty record
};
static_assert(sizeof(data_t) == 24, "data_t is a 24-byte record");

const uint64_t DATA_DEFAULT_ALIGNMENT = 8;

// A string record over a text literal: size counts the terminating zero.
#define DATA_LITERAL(text)                                                                         \
    data_t { sizeof(text), sizeof(text) - 1, (uint8_t*)(text) }

// Whole blocks from the OS: committed, zero-filled, read/write.
data_t data_os_alloc(uint64_t size, void* preferred_address);
void data_os_free(data_t* block);

data_t data_make(uint64_t size, uint64_t used, void* data);
uint64_t align_padding(uint64_t address, uint64_t alignment);
uint8_t* data_end(const data_t* block);

// Arena pushes: alignment 0 is DATA_DEFAULT_ALIGNMENT.
uint8_t* data_push(data_t* arena, uint64_t n, uint64_t alignment);
data_t data_push_block(data_t* arena, uint64_t n, uint64_t alignment);
data_t data_push_rest(data_t* arena, uint64_t alignment);
// Kept for completeness of the base library and tested, though the tool
// itself does not call it: do not remove it as unused.
void data_pop(data_t* arena, uint64_t n);
// Where an arena stands, to take back everything pushed after it: an
// identifier that did not fit, a file that could not be read whole.
typedef uint64_t data_mark_t;
inline data_mark_t data_mark(const data_t* arena) { return arena->used; }
void data_rewind(data_t* arena, data_mark_t mark);

uint8_t* data_append(data_t* block, const void* source, uint64_t n, uint64_t alignment);
uint8_t* data_append_data(data_t* block, const data_t* other, uint64_t alignment);
uint8_t* data_append_byte(data_t* block, uint8_t byte);
uint8_t* data_append_bytes(data_t* block, const void* source, uint64_t n);

void bytes_copy(void* destination, const void* source, uint64_t n);
void bytes_copy_safe(void* destination, const void* source, uint64_t n);
// Inline: it sits in every search and comparison loop.
inline int bytes_equal(const void* a, uint64_t a_length, const void* b, uint64_t b_length) {
    CHECK((a || a_length == 0) && (b || b_length == 0));
    if (a_length != b_length) return 0;
    const uint8_t* x = (const uint8_t*)a;
    const uint8_t* y = (const uint8_t*)b;
    for (uint64_t i = 0; i < a_length; ++i)
        if (x[i] != y[i]) return 0;
    return 1;
}
int data_equal(const data_t* a, const data_t* b);

// Kept for completeness of the base library and tested, though the tool
// itself does not call it: do not remove it as unused.
const uint8_t* string_find(const uint8_t* begin, const uint8_t* end, const void* pattern,
                           uint64_t pattern_length);
const uint8_t* string_find_last(const uint8_t* begin, const uint8_t* end, const void* pattern,
                                uint64_t pattern_length);
uint32_t text_length(const void* text);
