#include "base/command_line.h"

#include "base/data.h"
#include "base/platform/platform.h"
#include "base/utf.h"

namespace {

alignas(8) uint8_t argument_buffer[COMMAND_LINE_BUFFER_SIZE];
// Where each argument starts in the buffer, as the split finds them: an
// empty one ("") has no byte of its own to be found by afterwards. No more
// pointers than this fit in the buffer anyway.
const uint32_t STARTS_CAPACITY = COMMAND_LINE_BUFFER_SIZE / 8;
uint16_t argument_starts[STARTS_CAPACITY];

// Writes single bytes while there is room; later ones are dropped.
struct split_out_t {
    uint8_t* start;
    uint8_t* out;
    uint8_t* limit;
    uint32_t count; // arguments started
    int open;       // an argument has started and not ended
    void begin_argument() {
        if (open) return;
        open = 1;
        if (count < STARTS_CAPACITY) argument_starts[count] = (uint16_t)(out - start);
        count += 1;
    }
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
        const int separator = (code_point == ' ' || code_point == '\t') && !quoted;
        if (!separator) w->begin_argument();
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
            // A space or tab inside quotes is written like any other
            // character.
            if (separator) {
                if (!after_separator) w->put(0);
                after_separator = 1;
                w->open = 0;
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

// Points at each argument the split started, from the next multiple of 8
// after the size bytes at start; returns the array, or null when they do
// not all fit before limit.
char** index_arguments(const split_out_t& w, uint64_t size, int32_t* count) {
    uint8_t* array_bytes = w.start + size + align_padding((uint64_t)(uintptr_t)(w.start + size), 8);
    char** array = (char**)array_bytes;
    int32_t n = 0;
    // Every argument gets its pointer, or the line is too long: one left
    // out would change what the run does without a word.
    if (w.count > STARTS_CAPACITY || array_bytes + 8 * (uint64_t)w.count > w.limit) return nullptr;
    for (; (uint32_t)n < w.count; ++n)
        array[n] = (char*)w.start + argument_starts[n];
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
    split_out_t w{start, start, start + COMMAND_LINE_BUFFER_SIZE, 0, 0};
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
    // The last argument ends here; an empty one ("") gets a zero byte of
    // its own after the one that ended the argument before it.
    if (w.open || w.out[-1] != 0) *w.out++ = 0;
    char** array = index_arguments(w, (uint64_t)(w.out - start), count);
    if (!array) *result = COMMAND_LINE_LIMIT;
    return array;
}
