#include "tool/report.h"

#include "base/file.h"
#include "base/format.h"
#include "base/utf.h"

namespace {

// Only the main thread reports.
int strict;
uint32_t warnings_as_errors;

int is_control(uint8_t c) { return c < 0x20 || c == 0x7F; }

} // namespace

message_t::message_t(const char* kind) : bytes{}, line(data_make(sizeof bytes - 1, 0, bytes)) {
    // One byte is kept back for the line feed.
    if (!kind) return;
    const data_t warning = DATA_LITERAL("warning");
    if (strict && bytes_equal(kind, text_length(kind), warning.data, warning.used)) {
        kind = "error";
        warnings_as_errors += 1;
    }
    add("tagloomsmith: ");
    add(kind);
    add(": ");
}

void message_t::add(const void* text, uint64_t length) {
    const uint64_t room = line.size - line.used;
    const uint64_t n = length < room ? length : room;
    bytes_copy(data_end(&line), text, n);
    line.used += n;
}

void message_t::add(uint64_t number) { data_append_unsigned(&line, number, 0, 0, 0); }

void message_t::quoted(const data_t& text) {
    add("\"");
    escaped(text);
    add("\"");
}

void message_t::escaped(const data_t& text, int controls_only) {
    const uint8_t* end = text.data + text.used;
    for (const uint8_t* p = text.data; p < end;) {
        uint32_t code_point = 0;
        uint32_t length = utf8_decode(p, end, &code_point);
        if (controls_only && length == 0 && !is_control(*p)) length = 1;
        if (length != 0 && !is_control(*p)) {
            add(p, length);
            p += length;
            continue;
        }
        const char* named = *p == '\n' ? "\\n" : *p == '\t' ? "\\t" : *p == '\r' ? "\\r" : nullptr;
        if (named) {
            add(named);
        } else {
            add("\\x");
            uint8_t digits[2];
            format_unsigned(digits, 2, *p, 0, 0,
                            FORMAT_HEX | FORMAT_NO_PREFIX | FORMAT_MIN_DIGITS_2);
            add(digits, 2);
        }
        p += 1;
    }
}

void message_t::reason(uint32_t error) {
    add(": ");
    char text[256];
    add(text, file_error_text(error, text, sizeof text));
}

void message_t::others(uint64_t count, const char* one, const char* many) {
    if (count == 0) return;
    add(" (and ");
    add(count);
    add(count == 1 ? one : many);
    add(")");
}

void message_t::send() {
    line.size += 1;
    line.data[line.used++] = '\n';
    std_err_write_data(&line);
}

void report_final_line(const data_t& output, const char* said, uint64_t room) {
    // Its control bytes escaped as in messages, so that a path cannot forge
    // another line; other bytes are the user's own, shown as they are.
    message_t path(nullptr);
    path.escaped(output, 1);
    // The path alone when both do not fit the room, as the tool always did;
    // an escaped path takes more room than it had.
    uint8_t bytes[sizeof path.bytes + 16];
    const uint64_t extra = path.line.used - output.used;
    data_t line = data_make(room + extra < sizeof bytes ? room + extra : sizeof bytes, 0, bytes);
    data_append_data(&line, &path.line, 1);
    data_append(&line, said, text_length(said), 1);
    std_out_write_data(&line);
}

void report_error(const char* text) {
    message_t m("error");
    m.add(text);
    m.send();
}

void report_error_about(const char* before, const data_t& name, const char* after) {
    message_t m("error");
    m.add(before);
    m.quoted(name);
    m.add(after);
    m.send();
}

void report_warning(const char* text) {
    message_t m("warning");
    m.add(text);
    m.send();
}

void report_strict(void) { strict = 1; }

uint32_t report_warnings_as_errors(void) { return warnings_as_errors; }
