#pragma once

#include "base/data.h"

// Whole-file operations: each opens, transfers and closes before it returns.
// Failures come back as results only: the empty record, a count of 0.

// file_read_all returns the whole file in a fresh OS block (the caller owns
// it); with terminate, a zero byte follows the contents and is counted in
// used. The empty record when the file cannot be opened or read whole, or
// is not a regular file.
data_t file_read_all(const char* path, int terminate);

// A file read in pieces into the caller's buffer: opened for reading (other
// readers admitted), its size taken once, then read up to that size.
struct file_reader_t {
    uint64_t file; // the platform's handle
    uint64_t remaining;
};
// file_reader_open opens the file and takes its size; it returns 0 when
// the file cannot be opened or its size taken. With keep_writers_out, our
// own writers are kept out while it is open, as the whole-file read does.
// The scan needs no such lock: no run of ours writes into a file in place
// (outputs are replaced by a rename), and the lock cost a tenth of a run
// over a thousand small files.
int file_reader_open(file_reader_t* reader, const char* path, int keep_writers_out);
// file_reader_read reads up to room bytes into the buffer, fewer only at
// the end, and returns how many. It sets *failed when a read fails or the
// file ends before its size (it shrank).
uint64_t file_reader_read(file_reader_t* reader, void* into, uint64_t room, int* failed);
// file_reader_close closes the file.
void file_reader_close(file_reader_t* reader);

// Which file a name stands for, however it is spelt or linked: the device
// and inode, or the volume serial number and file index.
struct file_id_t {
    uint64_t volume, index;
};
// file_id_equal returns whether the two are the same file.
inline int file_id_equal(const file_id_t& a, const file_id_t& b) {
    return a.volume == b.volume && a.index == b.index;
}
// file_reader_id gives the open file's identity; 0 when the OS cannot tell.
int file_reader_id(const file_reader_t* reader, file_id_t* id);
// file_path_id gives the identity of the file at path, links followed; 0
// when nothing stands there or the OS cannot tell.
int file_path_id(const char* path, file_id_t* id);
// file_path_links returns how many names (hard links) the regular file at
// path has, links followed; 0 when no regular file stands there or the OS
// cannot tell.
uint32_t file_path_links(const char* path);
// file_path_resolve writes the path with the symbolic links at its end
// followed to the file they name (which need not exist), terminated, and
// returns its length; 0 when it does not fit or a link cannot be read.
uint32_t file_path_resolve(const char* path, char* out, uint32_t capacity);

// file_holds_exactly returns 1 when the file holds exactly these bytes, 0
// when it holds others, -1 when it cannot be read (file_last_error says
// why). It reads in pieces, so a large file costs no memory.
int file_holds_exactly(const char* path, const void* bytes, uint64_t length);
// file_holds_text returns the same, but a file that differs only by a CR
// before some of the bytes' LFs holds them too: git's autocrlf checks a
// header out with CRLF line endings, and it still holds the same text.
int file_holds_text(const char* path, const void* bytes, uint64_t length);

// file_write_all writes the bytes to the file and returns how many it
// wrote; 0 when the file cannot be created. overwrite 0 refuses to touch an
// existing file, 1 empties and rewrites it.
uint64_t file_write_all(const char* path, const void* bytes, uint64_t length, int overwrite);
// file_write_all_counted and file_write_all_data do the same with a name
// that is not terminated; names of 511 bytes or more are refused (nothing
// written, 0).
uint64_t file_write_all_counted(const void* name, uint64_t name_length, const void* bytes,
                                uint64_t length, int overwrite);
uint64_t file_write_all_data(const data_t* name, const void* bytes, uint64_t length, int overwrite);
const uint64_t FILE_NAME_LIMIT = 510;

// Puts the bytes into the file of that name, whatever stands there:
// - a regular file (or none) is replaced in one step: the bytes go to a
//   temporary file of this run's own beside it, which is then moved over
//   it, so readers see the old bytes or all the new ones, however many runs
//   race; it keeps its permission bits, and an existing file we may not
//   write is refused, untouched;
// - a symbolic link: the file it names is replaced that way, the link stays;
// - a device or FIFO (/dev/null, NUL, CON) is written into directly;
// - a file that already holds exactly these bytes is left as it is, not
//   even opened for writing, so its modification time stays;
// - a file with several names (hard links), or one in a folder where no
//   temporary file may be made though the file may be written, is written
//   in place, as a plain write would.
enum file_replace_outcome_t {
    FILE_REPLACED = 0,
    FILE_UNCHANGED = 1,
    FILE_WRITTEN_THROUGH = 2, // into a device
    FILE_FAILED = 3,
    FILE_WRITTEN_IN_PLACE = 4,
};
struct file_replace_t {
    file_replace_outcome_t outcome;
    uint32_t error;     // FILE_FAILED: the OS's error
    uint32_t temporary; // FILE_FAILED: 1 when the temporary file failed, not the output
};
// Room for a path in this module's own buffers: an output name, or the file
// its links lead to, with the temporary name beside it.
const uint64_t FILE_PATH_CAPACITY = 2048;
// file_replace_all puts the bytes into the file named (name_length bytes,
// not terminated) as described above and returns what it did.
file_replace_t file_replace_all(const void* name, uint64_t name_length, const void* bytes,
                                uint64_t length);
// file_temporary_name writes the name of the temporary file for the file
// at target (terminated, of target_length bytes), the attempt-th try of
// this process: beside the target, hidden, and never longer than a file
// name may be whatever the target's name. It returns the name's length, 0
// when it does not fit the capacity.
uint64_t file_temporary_name(const char* target, uint64_t target_length, uint32_t process,
                             uint32_t attempt, char* out, uint64_t capacity);

// file_error_text writes the OS's text (or the tool's own) for the error of
// a failed file or directory operation and returns its length;
// file_last_error returns that error itself, the calling thread's last.
uint32_t file_error_text(uint32_t error, char* buffer, uint32_t capacity);
uint32_t file_last_error(void);
// file_error_is_resource returns whether the error says the system ran
// short of handles or memory, which is no fault of the file's.
int file_error_is_resource(uint32_t error);

// std_out_write and std_err_write write all the bytes to standard output
// or standard error and return nonzero when they did.
int std_out_write(const void* bytes, uint64_t length);
int std_out_write_data(const data_t* text);
int std_err_write(const void* bytes, uint64_t length);
int std_err_write_data(const data_t* text);
