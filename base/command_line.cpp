#include "base/command_line.h"

#include "base/data.h"
#include "base/platform/platform.h"
#include "base/utf.h"

namespace {

alignas(8) uint8_t argument_buffer[COMMAND_LINE_BUFFER_SIZE];

// Writes single bytes while there is room; later ones are dropped.
struct split_out_t {
    uint8_t* out;
    uint8_t* limit;
    void put(uint8_t byte) {
        if (out < limit) *out++ = byte;
    }
    void put_backslashes(uint32_t n) {
        for (uint32_t i = 0; i < n; ++i)
            put('\\');
    }
};

// Writes the arguments of the UTF-16 text as NUL-terminated UTF-8 into the
// buffer, by the Windows quoting and backslash rules; 0 when the text is
// not well-formed UTF-16.
int split_arguments(const uint16_t* text, split_out_t* w) {
    const uint16_t* end = text;
    while (*end)
        ++end;
    int quoted = 0, after_separator = 0;
    uint32_t backslashes = 0;
    const uint8_t* p = (const uint8_t*)text;
    const uint8_t* stop = (const uint8_t*)end;
    while (p < stop && w->out < w->limit) {
        uint32_t code_point;
        uint8_t units;
        int32_t error = UTF_OK;
        utf16_decode(p, stop, &code_point, &units, 0, &error);
        p += 2 * units;
        if (error != UTF_OK) return 0;
        if (code_point == '\\') {
            backslashes += 1;
            after_separator = 0;
        } else if (code_point == '"') {
            w->put_backslashes(backslashes / 2);
            if (backslashes % 2 == 0)
                quoted = !quoted;
            else
                w->put('"');
            backslashes = 0;
            after_separator = 0;
        } else {
            w->put_backslashes(backslashes);
            backslashes = 0;
            if ((code_point == ' ' || code_point == '\t') && quoted) {
                w->put((uint8_t)code_point);
            } else if (code_point == ' ' || code_point == '\t') {
                if (!after_separator) w->put(0);
                after_separator = 1;
            } else {
                after_separator = 0;
                uint8_t n = 0;
                utf8_encode(w->out, w->limit, code_point, &n, &error);
                if (error == UTF_OK) w->out += n; // else: no room, the character is left out
            }
        }
    }
    w->put_backslashes(backslashes);
    return 1;
}

// Points at each argument of the size bytes at start, from the next
// multiple of 8 after them, as many as fit before limit; returns the array.
char** index_arguments(uint8_t* start, uint64_t size, const uint8_t* limit, int32_t* count) {
    uint8_t* array_bytes = start + size + align_padding((uint64_t)(uintptr_t)(start + size), 8);
    char** array = (char**)array_bytes;
    int32_t n = 0;
    int at_start = 1;
    for (uint64_t i = 0; i < size; ++i) {
        if (start[i] == 0) {
            at_start = 1;
        } else if (at_start) {
            if (array_bytes + 8 * ((uint64_t)n + 1) > limit) break;
            array[n++] = (char*)start + i;
            at_start = 0;
        }
    }
    *count = n;
    return array;
}

} // namespace

char** command_line_split(int32_t* count, command_line_result_t* result) {
    return command_line_split_text(platform_command_line(), count, result);
}

char** command_line_split_text(const uint16_t* text, int32_t* count,
                               command_line_result_t* result) {
    uint8_t* start = argument_buffer;
    split_out_t w{start, start + COMMAND_LINE_BUFFER_SIZE};
    *count = 0;
    *result = COMMAND_LINE_OK;
    if (!split_arguments(text, &w)) {
        *result = COMMAND_LINE_ILL_FORMED;
        return nullptr;
    }
    if (!(start < w.out && w.out < w.limit)) {
        *result = COMMAND_LINE_LIMIT;
        return nullptr;
    }
    if (w.out[-1] != 0) *w.out++ = 0;
    return index_arguments(start, (uint64_t)(w.out - start), w.limit, count);
}
