#include "tool/report.h"

#include "base/file.h"
#include "base/format.h"

message_t::message_t(const char* kind) : bytes{}, line(data_make(sizeof bytes - 1, 0, bytes)) {
    // One byte is kept back for the line feed.
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
    add(text);
    add("\"");
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

void report_error(const char* text) {
    message_t m("error");
    m.add(text);
    m.send();
}

void report_warning(const char* text) {
    message_t m("warning");
    m.add(text);
    m.send();
}
