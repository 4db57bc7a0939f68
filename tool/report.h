#pragma once

#include "base/data.h"

// Diagnostics on standard error, one line each: "tagloomsmith: error: ..."
// or "tagloomsmith: warning: ...".

// Where a message points: a file, a line, and the column in it counted as
// each form's tools count it (utf8_columns_t), all from 1.
struct report_place_t {
    data_t path;
    uint64_t line;
    uint64_t column;    // gcc's display column
    uint64_t character; // Visual Studio's character in the line
};

// How a place is written: "src/a.c:12:5" as gcc writes it, which editors,
// Make and Ninja read, or "src\\a.c(12,5)" as the Microsoft compiler does,
// which Visual Studio's Error List and MSBuild read.
enum report_form_t { REPORT_GCC = 0, REPORT_MSVC = 1 };
// report_set_form chooses the form (--diagnostics); the default is the
// system's own: MSVC where paths are separated by backslashes.
void report_set_form(report_form_t form);
// report_place appends the place in the form chosen, control bytes and
// bytes that are not UTF-8 escaped as message_t::quoted does; a place of
// line 0 (not found) is its path alone. Returns 0 when it did not fit.
int report_place(data_t* text, const report_place_t& place);

// What a line says it is: "error: ", "warning: " (said as an error, and
// counted, under --strict), or nothing, a bare line.
enum message_kind_t { MESSAGE_ERROR = 0, MESSAGE_WARNING = 1, MESSAGE_BARE = 2 };

// One line, built in a buffer of its own and written in one call, so lines
// of several runs or threads never interleave. Text that does not fit is
// cut, never overrun.
struct message_t {
    uint8_t bytes[2048];
    data_t line;

    explicit message_t(message_kind_t kind);
    // A message about a place starts with it: "src/a.c:12:5: error: ...";
    // with a null place it is the message above.
    message_t(message_kind_t kind, const report_place_t* place);
    message_t(const message_t&) = delete; // line points into bytes
    void add(const void* text, uint64_t length);
    void add(const char* text) { add(text, text_length(text)); }
    void add(const data_t& text) { add(text.data, text.used); }
    void add(uint64_t number);
    // quoted adds the text between double quotes, with its control bytes
    // and the bytes that are not UTF-8 escaped ("\n", "\x1b"): a name can
    // neither break the line nor forge a message.
    void quoted(const data_t& text);
    void quoted(const char* text) { quoted(data_make(0, text_length(text), (void*)text)); }
    // escaped adds the text escaped as quoted does, without the quotes;
    // with controls_only, bytes that are not UTF-8 are added as they are.
    void escaped(const data_t& text, int controls_only = 0);
    // reason adds ": " and the operating system's words for the error.
    void reason(uint32_t error);
    // others adds " (and 1 more file)", " (and 3 more files)": the others
    // of a count.
    void others(uint64_t count, const char* one, const char* many);
    void send();
};

// report_error_about says an error made of the text before, the name
// quoted, and the text after.
void report_error_about(const char* before, const data_t& name, const char* after);
// report_error and report_warning say one line of that kind.
void report_error(const char* text);
void report_warning(const char* text);

// report_final_line writes the output path, its control bytes escaped,
// and the text after it (" generated.\n") on standard output; the path
// alone when both do not fit in room bytes (more by what escaping added).
void report_final_line(const data_t& output, const char* said, uint64_t room);

// report_warnings_as_errors returns how many warnings --strict made errors.
uint32_t report_warnings_as_errors(void);
