#include "tool/report.h"

#include "base/file.h"
#include "base/format.h"
#include "base/platform/platform.h"
#include "base/utf.h"
#include "tool/options.h"

namespace {

// Only the main thread reports.
uint32_t warnings_as_errors;
report_form_t form = PLATFORM_SEPARATOR == '\\' ? REPORT_MSVC : REPORT_GCC;

int is_control(uint8_t c) { return c < 0x20 || c == 0x7F; }

// Under --strict a warning is said as an error, and counted: read from the
// command line as each line is made, so that no step of the run has to
// pass it on.
const char* kind_said(message_kind_t kind) {
    if (kind == MESSAGE_ERROR) return "error";
    if (!options_strict()) return "warning";
    warnings_as_errors += 1;
    return "error";
}

// Appends bytes escaped as message_t::escaped says; 0 when they did not fit.
int append_escaped(data_t* out, const data_t& text, int controls_only = 0) {
    int fitted = 1;
    auto add = [&](const void* bytes, uint64_t n) {
        if (!data_append(out, bytes, n, 1)) fitted = 0;
    };
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
            add(named, 2);
        } else {
            uint8_t digits[4] = {'\\', 'x'};
            format_unsigned(digits + 2, 2, *p, 0, 0,
                            FORMAT_HEX | FORMAT_NO_PREFIX | FORMAT_MIN_DIGITS_2);
            add(digits, 4);
        }
        p += 1;
    }
    return fitted;
}

} // namespace

void report_set_form(report_form_t chosen) { form = chosen; }

int report_place(data_t* text, const report_place_t& place) {
    int fitted = append_escaped(text, place.path);
    if (place.line == 0) return fitted; // a file not read again: its path alone
    const uint8_t opening = form == REPORT_MSVC ? '(' : ':';
    const uint8_t between = form == REPORT_MSVC ? ',' : ':';
    fitted &= data_append_byte(text, opening) != nullptr;
    fitted &= data_append_unsigned(text, place.line, 0, 0, 0) != 0;
    fitted &= data_append_byte(text, between) != nullptr;
    // Microsoft's documents say no unit for the column of "file(line,col)";
    // the Error List and MSBuild's output put the caret at that character
    // of the line in the editor, whose lines are UTF-16 with a tab one
    // character: gcc's display column would land past it after a tab or a
    // wide character.
    const uint64_t column = form == REPORT_MSVC ? place.character : place.column;
    fitted &= data_append_unsigned(text, column, 0, 0, 0) != 0;
    if (form == REPORT_MSVC) fitted &= data_append_byte(text, ')') != nullptr;
    return fitted;
}

message_t::message_t(message_kind_t kind) : message_t(kind, nullptr) {}

message_t::message_t(message_kind_t kind, const report_place_t* place)
    : bytes{}, line(data_make(sizeof bytes - 1, 0, bytes)) {
    // One byte is kept back for the line feed.
    if (kind == MESSAGE_BARE) return;
    if (place) {
        report_place(&line, *place);
        add(": ");
    } else {
        add("tagloomsmith: ");
    }
    add(kind_said(kind));
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
    append_escaped(&line, text, controls_only);
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
    message_t path(MESSAGE_BARE);
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
    message_t m(MESSAGE_ERROR);
    m.add(text);
    m.send();
}

void report_error_about(const char* before, const data_t& name, const char* after) {
    message_t m(MESSAGE_ERROR);
    m.add(before);
    m.quoted(name);
    m.add(after);
    m.send();
}

void report_warning(const char* text) {
    message_t m(MESSAGE_WARNING);
    m.add(text);
    m.send();
}

uint32_t report_warnings_as_errors(void) { return warnings_as_errors; }
