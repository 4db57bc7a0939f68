#pragma once

#include "base/data.h"

// Diagnostics on standard error, one line each: "tagloomsmith: error: ..."
// or "tagloomsmith: warning: ...".

// One line, built in a buffer of its own and written in one call, so lines
// of several runs or threads never interleave. Text that does not fit is
// cut, never overrun.
struct message_t {
    uint8_t bytes[2048];
    data_t line;

    explicit message_t(const char* kind);
    void add(const void* text, uint64_t length);
    void add(const char* text) { add(text, text_length(text)); }
    void add(const data_t& text) { add(text.data, text.used); }
    void add(uint64_t number);
    // The text between double quotes.
    void quoted(const data_t& text);
    void quoted(const char* text) { quoted(data_make(0, text_length(text), (void*)text)); }
    // ": " and the operating system's words for the error.
    void reason(uint32_t error);
    // " (and 1 more file)", " (and 3 more files)": the others of a count.
    void others(uint64_t count, const char* one, const char* many);
    void send();
};

void report_error(const char* text);
void report_warning(const char* text);
