#include "base/data.h"

#include "base/check.h"
#include "base/log.h"
#include "base/platform/platform.h"

data_t data_os_alloc(uint64_t size, void* preferred_address) {
    // No platform we run on can honour a preferred address portably, and no
    // caller passes one.
    (void)preferred_address;
    return data_t{size, 0, (uint8_t*)platform_memory_alloc(size)};
}

void data_os_free(data_t* block) {
    if (!block->data) return;
    platform_memory_free(block->data, block->size);
    *block = data_t{0, 0, nullptr};
}

data_t data_make(uint64_t size, uint64_t used, void* data) {
    return data_t{size, used, (uint8_t*)data};
}

uint64_t align_padding(uint64_t address, uint64_t alignment) {
    return (0 - address) & (alignment - 1);
}

uint8_t* data_end(const data_t* block) { return block->data + block->used; }

namespace {

// used + padding + n, or UINT64_MAX when the sum does not fit in 64 bits:
// such a request can never fit.
uint64_t push_end(const data_t* arena, uint64_t n, uint64_t padding) {
    uint64_t end = arena->used + padding;
    if (end < padding || end + n < end) return UINT64_MAX;
    return end + n;
}

uint64_t checked_alignment(uint64_t alignment, uint64_t largest) {
    CHECK(alignment <= largest && (alignment & (alignment - 1)) == 0);
    return alignment == 0 ? DATA_DEFAULT_ALIGNMENT : alignment;
}

} // namespace

uint8_t* data_push(data_t* arena, uint64_t n, uint64_t alignment) {
    alignment = checked_alignment(alignment, 8);
    uint64_t padding = align_padding((uint64_t)(uintptr_t)data_end(arena), alignment);
    uint64_t end = push_end(arena, n, padding);
    if (end > arena->size) {
        log_write(0, DATA_LITERAL("***Out of memory in the data_t block.***\n"));
        return nullptr;
    }
    uint8_t* result = arena->data + arena->used + padding;
    arena->used = end;
    return result;
}

data_t data_push_block(data_t* arena, uint64_t n, uint64_t alignment) {
    alignment = checked_alignment(alignment, 64);
    uint64_t padding = align_padding((uint64_t)(uintptr_t)data_end(arena), alignment);
    uint64_t end = push_end(arena, n, padding);
    if (end > arena->size) {
        // The blank after the line feed is the tool's own text, byte for
        // byte (data_push's message has none): not a typo to mend.
        log_write(0, DATA_LITERAL("***Out of memory in the data_t block.***\n "));
        return data_t{0, 0, nullptr};
    }
    data_t result{n, 0, arena->data + arena->used + padding};
    arena->used = end;
    return result;
}

data_t data_push_rest(data_t* arena, uint64_t alignment) {
    alignment = checked_alignment(alignment, 64);
    uint64_t padding = align_padding((uint64_t)(uintptr_t)data_end(arena), alignment);
    uint64_t start = push_end(arena, 0, padding);
    if (start > arena->size) return data_t{0, 0, nullptr};
    data_t result{arena->size - start, 0, arena->data + start};
    arena->used = arena->size;
    return result;
}

void data_pop(data_t* arena, uint64_t n) {
    CHECK(n <= arena->used);
    arena->used -= n;
}

void data_rewind(data_t* arena, data_mark_t mark) {
    CHECK(mark <= arena->used);
    arena->used = mark;
}

uint8_t* data_append(data_t* block, const void* source, uint64_t n, uint64_t alignment) {
    uint8_t* result = data_push(block, n, alignment);
    if (result) bytes_copy(result, source, n);
    return result;
}

uint8_t* data_append_data(data_t* block, const data_t* other, uint64_t alignment) {
    return data_append(block, other->data, other->used, alignment);
}

uint8_t* data_append_byte(data_t* block, uint8_t byte) {
    uint8_t* result = data_push(block, 1, 1);
    if (result) *result = byte;
    return result;
}

uint8_t* data_append_bytes(data_t* block, const void* source, uint64_t n) {
    uint8_t* result = data_push(block, n, 1);
    bytes_copy_safe(result, source, n);
    return result;
}

void bytes_copy(void* destination, const void* source, uint64_t n) {
    if (n == 0) return;
    CHECK(destination && source);
    uint8_t* to = (uint8_t*)destination;
    const uint8_t* from = (const uint8_t*)source;
    for (uint64_t i = 0; i < n; ++i)
        to[i] = from[i];
}

void bytes_copy_safe(void* destination, const void* source, uint64_t n) {
    if (destination && source) bytes_copy(destination, source, n);
}

int data_equal(const data_t* a, const data_t* b) {
    return bytes_equal(a->data, a->used, b->data, b->used);
}

namespace {

int search_guard(const uint8_t* begin, const uint8_t* end, uint64_t pattern_length) {
    return begin && end && pattern_length != 0 && end >= begin &&
           pattern_length <= (uint64_t)(end - begin);
}

} // namespace

const uint8_t* string_find(const uint8_t* begin, const uint8_t* end, const void* pattern,
                           uint64_t pattern_length) {
    if (!search_guard(begin, end, pattern_length)) return end;
    const uint8_t* last = end - pattern_length;
    for (const uint8_t* p = begin; p <= last; ++p)
        if (bytes_equal(p, pattern_length, pattern, pattern_length)) return p;
    return end;
}

const uint8_t* string_find_last(const uint8_t* begin, const uint8_t* end, const void* pattern,
                                uint64_t pattern_length) {
    if (!search_guard(begin, end, pattern_length)) return end;
    for (const uint8_t* p = end - pattern_length;; --p) {
        if (bytes_equal(p, pattern_length, pattern, pattern_length)) return p;
        if (p == begin) break;
    }
    return end;
}

uint32_t text_length(const void* text) {
    if (!text) return 0;
    const uint8_t* bytes = (const uint8_t*)text;
    uint32_t n = 0;
    while (bytes[n] != 0)
        ++n;
    return n;
}
