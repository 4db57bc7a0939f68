#pragma once

#include <stdint.h>

// Splits a UTF-16 command line into UTF-8 arguments by the quoting and
// backslash rules of Windows programs: a quoted empty string ("") is an
// argument of its own, as every Windows C runtime reads it. Text and pointer array share one
// static buffer; nothing is allocated.
const uint64_t COMMAND_LINE_BUFFER_SIZE = 2048;

enum command_line_result_t {
    COMMAND_LINE_OK = 0,
    COMMAND_LINE_ILL_FORMED = 1, // not well-formed UTF-16 (an unpaired surrogate)
    COMMAND_LINE_LIMIT = 2,      // no byte at all, or the text and its pointers fill the buffer
};

// command_line_split splits the process's own command line and returns the
// pointer array (no null entry after the last), or null with a count of 0
// when the result is not OK.
char** command_line_split(int32_t* count, command_line_result_t* result);
// command_line_split_text does the same with a NUL-terminated UTF-16 text,
// low byte first.
char** command_line_split_text(const uint16_t* text, int32_t* count, command_line_result_t* result);
