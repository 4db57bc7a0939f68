#pragma once

#include "data.h"

// Whole-file operations: each opens, transfers and closes before it returns.
// Failures come back as results only: the empty record, a count of 0.

// The whole file in a fresh OS block (the caller owns it); with terminate, a
// zero byte follows the contents and is counted in used. The empty record
// when the file cannot be opened or read whole, or is not a regular file.
data_t file_read_all(const char* path, int terminate);

// A file read in pieces into the caller's buffer: opened for reading (other
// readers admitted), its size taken once, then read up to that size.
struct file_reader_t {
    uint64_t file; // the platform's handle
    uint64_t remaining;
};
// 0 when the file cannot be opened or its size taken.
int file_reader_open(file_reader_t* reader, const char* path);
// Up to room bytes into the buffer, fewer only at the end. Sets *failed when
// a read fails or the file ends before its size (it shrank).
uint64_t file_reader_read(file_reader_t* reader, void* into, uint64_t room, int* failed);
void file_reader_close(file_reader_t* reader);

// Bytes written; 0 when the file cannot be created. overwrite 0 refuses to
// touch an existing file, 1 empties and rewrites it.
uint64_t file_write_all(const char* path, const void* bytes, uint64_t length, int overwrite);
// The same with a name that is not terminated; names of 511 bytes or more
// are refused (nothing written, 0).
uint64_t file_write_all_counted(const void* name, uint64_t name_length, const void* bytes,
                                uint64_t length, int overwrite);
uint64_t file_write_all_data(const data_t* name, const void* bytes, uint64_t length, int overwrite);
const uint64_t FILE_NAME_LIMIT = 510;

// Writes the bytes to "<name>.tmp" beside the file and moves it over the
// file in one step, so the file holds either its old bytes or all the new
// ones. Returns 1 when the file now holds all the new bytes, 0 otherwise
// (and then the file is untouched and no temporary file is left).
int file_replace_all(const void* name, uint64_t name_length, const void* bytes, uint64_t length);

// Standard output and standard error: nonzero when the write succeeded.
int std_out_write(const void* bytes, uint64_t length);
int std_out_write_data(const data_t* text);
int std_err_write(const void* bytes, uint64_t length);
int std_err_write_data(const data_t* text);
