#pragma once

#include "base/data.h"

// The argument table: one string record per argument, referring to the
// caller's strings, and lookups of whole-argument options.
const uint32_t ARGS_CAPACITY = 128;
const uint32_t ARGS_PATH_CAPACITY = 2048;

// Returns 0 when the count is negative or above ARGS_CAPACITY; the table then
// holds no argument at all. The executable's path is recorded either way.
int args_init(int32_t count, char** values);

// Index of the first argument at or after start equal to the text; 0 when
// there is none (index 0, the program itself, reads as none too).
uint32_t arg_find(const void* text, uint64_t length, uint32_t start);
uint32_t arg_present(data_t option, uint32_t start);
// The argument after the option, or the empty record. With an iterator the
// search starts there and, on a hit, the iterator moves to the value.
data_t arg_value(data_t option, uint32_t* iterator);
data_t arg_value(const void* text, uint64_t length, uint32_t* iterator);

// Marks the arguments a command line's options take: each switch, and each
// option with the argument after it, whatever that argument is. taken[0],
// the program itself, is marked too; the others stay 0.
void arg_mark_taken(const data_t* switches, uint32_t switch_count, const data_t* options,
                    uint32_t option_count, uint8_t taken[ARGS_CAPACITY]);

uint32_t arg_count(void);
data_t arg_at(uint32_t index);

// Kept for completeness of the base library and tested, though the tool
// itself does not call them: do not remove them as unused.
// The running executable: its path, its directory (up to and including the
// last separator) and its file name. Empty when the path did not fit.
data_t arg_executable_path(void);
data_t arg_executable_directory(void);
data_t arg_executable_name(void);
