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

// data_os_alloc returns a whole block from the OS (committed, zero-filled,
// read/write) as {size, 0, block}; its data is null when the OS refuses,
// as it always does for 0 bytes. data_os_free releases a block and empties
// its record; a record with null data is left as it is.
data_t data_os_alloc(uint64_t size, void* preferred_address);
void data_os_free(data_t* block);

// data_make returns the record {size, used, data}.
data_t data_make(uint64_t size, uint64_t used, void* data);
// align_padding returns the bytes, 0 to alignment - 1, that bring the
// address up to a multiple of the (power-of-two) alignment.
uint64_t align_padding(uint64_t address, uint64_t alignment);
// data_end returns data + used, the first byte after those in use.
uint8_t* data_end(const data_t* block);

// data_push returns n bytes pushed at the alignment (0 is
// DATA_DEFAULT_ALIGNMENT; 1, 2, 4, 8 allowed), or null, with the
// out-of-memory report on log channel 0, when they do not fit.
uint8_t* data_push(data_t* arena, uint64_t n, uint64_t alignment);
// data_push_block returns n bytes as a sub-block {n, 0, start} (alignments
// up to 64), or the empty record, reported, when they do not fit.
data_t data_push_block(data_t* arena, uint64_t n, uint64_t alignment);
// data_push_rest returns all the arena's room after alignment as a
// sub-block and marks the arena full; the empty record when even the
// padding does not fit.
data_t data_push_rest(data_t* arena, uint64_t alignment);
// data_pop gives back the last n bytes pushed.
void data_pop(data_t* arena, uint64_t n);
// data_mark returns where an arena stands; data_rewind takes back
// everything pushed after the mark (an identifier that did not fit, a file
// that could not be read whole).
typedef uint64_t data_mark_t;
inline data_mark_t data_mark(const data_t* arena) { return arena->used; }
void data_rewind(data_t* arena, data_mark_t mark);

// data_append pushes n bytes at the alignment and copies the source there;
// it returns the copy, or null when they did not fit (nothing copied).
// data_append_data does so with another record's used bytes,
// data_append_byte with one byte at alignment 1, and data_append_bytes at
// alignment 1 with a source that may be null.
uint8_t* data_append(data_t* block, const void* source, uint64_t n, uint64_t alignment);
uint8_t* data_append_data(data_t* block, const data_t* other, uint64_t alignment);
uint8_t* data_append_byte(data_t* block, uint8_t byte);
uint8_t* data_append_bytes(data_t* block, const void* source, uint64_t n);

// bytes_copy copies n bytes, first to last; bytes_copy_safe does nothing
// when either pointer is null.
void bytes_copy(void* destination, const void* source, uint64_t n);
void bytes_copy_safe(void* destination, const void* source, uint64_t n);
// bytes_equal returns 1 when the lengths and every byte are equal. Inline:
// it sits in every search and comparison loop.
inline int bytes_equal(const void* a, uint64_t a_length, const void* b, uint64_t b_length) {
    CHECK((a || a_length == 0) && (b || b_length == 0));
    if (a_length != b_length) return 0;
    const uint8_t* x = (const uint8_t*)a;
    const uint8_t* y = (const uint8_t*)b;
    for (uint64_t i = 0; i < a_length; ++i)
        if (x[i] != y[i]) return 0;
    return 1;
}
// data_equal returns bytes_equal of the two records' used bytes.
int data_equal(const data_t* a, const data_t* b);

// string_find returns the first occurrence of the pattern in [begin, end),
// string_find_last the last; both return end when there is none (or when
// a pointer is null or the pattern empty or longer than the range).
const uint8_t* string_find(const uint8_t* begin, const uint8_t* end, const void* pattern,
                           uint64_t pattern_length);
const uint8_t* string_find_last(const uint8_t* begin, const uint8_t* end, const void* pattern,
                                uint64_t pattern_length);
// text_length returns the bytes before the first zero byte; 0 for null.
uint32_t text_length(const void* text);
