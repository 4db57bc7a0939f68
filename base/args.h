#pragma once

#include "base/data.h"

// The argument table: one string record per argument, referring to the
// caller's strings, and lookups of whole-argument options.
const uint32_t ARGS_CAPACITY = 128;
const uint32_t ARGS_PATH_CAPACITY = 2048;

// args_init fills the table from the arguments and records the
// executable's path. It returns 0 when the count is negative or above
// ARGS_CAPACITY; the table then holds no argument at all.
int args_init(int32_t count, char** values);

// arg_find returns the index of the first argument at or after start equal
// to the text; 0 when there is none (index 0, the program itself, reads as
// none too). arg_present does so for an option record.
uint32_t arg_find(const void* text, uint64_t length, uint32_t start);
uint32_t arg_present(data_t option, uint32_t start);
// arg_value returns the argument after the option, or the empty record.
// With an iterator the search starts there and, on a hit, the iterator
// moves to the value.
data_t arg_value(data_t option, uint32_t* iterator);
data_t arg_value(const void* text, uint64_t length, uint32_t* iterator);

// arg_mark_taken marks the arguments a command line's options take: each
// switch, and each option with the argument after it, whatever that
// argument is. taken[0], the program itself, is marked too; the others
// stay 0.
void arg_mark_taken(const data_t* switches, uint32_t switch_count, const data_t* options,
                    uint32_t option_count, uint8_t taken[ARGS_CAPACITY]);

// arg_count returns the number of arguments; arg_at returns argument index,
// or the empty record past the last.
uint32_t arg_count(void);
data_t arg_at(uint32_t index);

// arg_executable_path, arg_executable_directory and arg_executable_name
// return the running executable's path, its directory (up to and including
// the last separator) and its file name; empty when the path did not fit.
data_t arg_executable_path(void);
data_t arg_executable_directory(void);
data_t arg_executable_name(void);
