#pragma once

#include <stdint.h>

// The one way in to the operating system: the memory, threads, files,
// folders, paths, errors, interrupts and console output the tool needs,
// shaped by what its callers need, with one implementation per system
// (posix.cpp, windows.cpp). Paths are bytes in the system's own form
// (UTF-8 on Windows). Where callers rely on a result, both sides give the
// same one - folders listed in the same order, links to folders left out,
// the same kinds of files - so that nothing above this layer needs to know
// the system by name; error numbers are the system's own, told apart by
// the platform_error_is_ calls.

typedef uintptr_t platform_handle_t;
const platform_handle_t PLATFORM_INVALID_HANDLE = ~(platform_handle_t)0;

// platform_init does the start-up work a platform needs before anything
// else runs (on POSIX: makes sure no file we open can land on a closed
// standard descriptor); platform_exit ends the process with the code.
void platform_init(void);
[[noreturn]] void platform_exit(uint32_t code);

// platform_memory_alloc returns committed, zero-filled, read/write memory,
// null when refused (always for 0); platform_memory_free releases it.
void* platform_memory_alloc(uint64_t size);
void platform_memory_free(void* block, uint64_t size);

// Threads. The function's result is not kept.
typedef uint32_t (*platform_thread_function_t)(void* argument);
// platform_thread_start starts a thread and returns it;
// PLATFORM_INVALID_HANDLE when the OS refuses one.
platform_handle_t platform_thread_start(platform_thread_function_t function, void* argument);
// platform_thread_join waits for the thread to end, then releases it.
void platform_thread_join(platform_handle_t thread);
// platform_processor_count returns the processors this process may run on,
// at least 1.
uint32_t platform_processor_count(void);
// platform_thread_yield gives the processor to another thread that is
// ready to run, if any.
void platform_thread_yield(void);
// platform_thread_nap sleeps briefly: a fifth of a millisecond, or the
// shortest sleep the OS has.
void platform_thread_nap(void);

// A count threads sleep on, a semaphore: a wait takes one, or gives up
// after the timeout; a release adds some, waking as many sleepers.
// platform_semaphore_create returns a new one, PLATFORM_INVALID_HANDLE when
// the OS refuses it.
platform_handle_t platform_semaphore_create(void);
void platform_semaphore_release(platform_handle_t semaphore, uint32_t count);
void platform_semaphore_wait(platform_handle_t semaphore, uint32_t milliseconds);
void platform_semaphore_free(platform_handle_t semaphore);

// platform_command_line returns the process's command line as
// NUL-terminated UTF-16, low byte first.
const uint16_t* platform_command_line(void);

// platform_module_path writes the path of the running executable,
// NUL-terminated, and returns the characters written without the NUL,
// buffer_size when it was cut, 0 on failure.
uint32_t platform_module_path(char* buffer, uint32_t buffer_size);

// A folder's entries, one at a time, in the order Windows file systems
// give them (names compared upper-cased, then byte for byte), links to
// folders left out. The pattern is a directory's path, a separator and "*".
struct platform_find_entry_t {
    uint32_t attributes; // PLATFORM_ATTRIBUTE_DIRECTORY or 0
    uint32_t size_high;
    uint32_t size_low;
    uint32_t write_time_low;
    uint32_t write_time_high;
    char name[768]; // NUL-terminated bare name: 255 UTF-16 units take up to 765 UTF-8 bytes
};
const uint32_t PLATFORM_ATTRIBUTE_DIRECTORY = 0x10;

// platform_find_first opens the search and gives the first entry; it
// returns PLATFORM_INVALID_HANDLE when the directory cannot be searched.
platform_handle_t platform_find_first(const char* pattern, platform_find_entry_t* entry);
// platform_find_next returns 1 with the next entry, 0 at the end, -1 when
// the listing failed midway (platform_last_error says why).
int platform_find_next(platform_handle_t search, platform_find_entry_t* entry);
void platform_find_close(platform_handle_t search);

// Files, opened, created and written by handle.
enum platform_create_t {
    PLATFORM_CREATE_NEW = 1,    // fails when the file exists
    PLATFORM_CREATE_ALWAYS = 2, // creates, or empties an existing file
};
// platform_file_open_read opens an existing regular file for reading
// (PLATFORM_INVALID_HANDLE when it cannot); other readers are admitted,
// and with keep_writers_out writers are kept out while it is open (on
// POSIX only our own writers, which lock as they write).
platform_handle_t platform_file_open_read(const char* path, int keep_writers_out);
// platform_file_create opens for writing with every other opener kept out.
platform_handle_t platform_file_create(const char* path, platform_create_t disposition);
// platform_file_create_temporary creates a new file the same way, but one
// that may be deleted while it is open (on Windows, the interrupt handler
// runs while the main thread may still write it).
platform_handle_t platform_file_create_temporary(const char* path);
// platform_file_size, platform_file_read and platform_file_write return
// nonzero when the call succeeded, and give the size or the bytes moved.
int platform_file_size(platform_handle_t file, uint64_t* size);
int platform_file_read(platform_handle_t file, void* buffer, uint32_t n, uint32_t* read);
int platform_file_write(platform_handle_t file, const void* bytes, uint32_t n, uint32_t* written);
void platform_file_close(platform_handle_t file);
// platform_file_replace moves a file over another one in a single step and
// returns nonzero when it did. On Windows, where an indexer or a virus
// scanner may hold a file it has just seen, a refusal for sharing or
// access is tried again for a few tens of milliseconds; backup is a free
// name beside them that the old file may pass through (and is gone from
// again when the call returns), so that a replace that fails halfway can
// put it back. POSIX renames in one step and needs none.
int platform_file_replace(const char* from, const char* to, const char* backup);
int platform_file_delete(const char* path);

// What stands at a path, links followed.
enum platform_path_kind_t {
    PLATFORM_PATH_MISSING = 0,
    PLATFORM_PATH_FILE = 1, // a regular file
    PLATFORM_PATH_DIRECTORY = 2,
    PLATFORM_PATH_DEVICE = 3, // anything else: a device, a FIFO, a socket, NUL or CON
};
struct platform_path_info_t {
    platform_path_kind_t kind;
    uint32_t links; // names the file has (hard links)
    // Which file it is, however it is named: the device and inode, or the
    // volume serial number and file index.
    uint64_t volume, index;
};
// platform_path_info tells what stands at a path; it returns 0 when the OS
// cannot tell (platform_last_error says why); a missing path is a result,
// not a failure.
int platform_path_info(const char* path, platform_path_info_t* info);
// platform_file_id gives which file an open handle reads, as
// platform_path_info tells it; 0 when the OS cannot tell.
int platform_file_id(platform_handle_t file, uint64_t* volume, uint64_t* index);
// platform_path_resolve writes the path with the symbolic links that stand
// at its end followed to the file they name (which need not exist), so
// that the file can be replaced beside it and the link kept. Returns the
// length written with a zero byte after it, 0 when it does not fit or a
// link cannot be read.
uint32_t platform_path_resolve(const char* path, char* out, uint32_t capacity);
// platform_file_open_write opens an existing file or device for writing,
// neither creating nor emptying it; a FIFO waits for its reader, as a
// shell's redirection does.
platform_handle_t platform_file_open_write(const char* path, platform_path_kind_t* kind);
// platform_file_reserve makes room on the disk for the first size bytes of
// an open file before they are written, so that a write in place cannot
// run out of room halfway; nonzero when it did, or when the system keeps
// no such reservation.
int platform_file_reserve(platform_handle_t file, uint64_t size);
// platform_file_truncate cuts an open file to size bytes; nonzero when it
// did.
int platform_file_truncate(platform_handle_t file, uint64_t size);
// platform_file_lock waits until this process alone holds the file's
// advisory lock (flock; on Windows, LockFileEx on a byte far past any
// header's end, so that readers are never refused), which only our own
// in-place writers ask for; platform_file_unlock lets the next one in. A
// file system without locks is written unlocked, as it always was.
void platform_file_lock(platform_handle_t file);
void platform_file_unlock(platform_handle_t file);
// platform_file_attributes_like gives a file just created the permission
// bits, owner and group of the file at model_path, where the OS has them,
// the model exists and we may.
void platform_file_attributes_like(platform_handle_t file, const char* model_path);
// platform_remove_on_interrupt: until called again, an interrupt (SIGINT,
// SIGTERM, SIGHUP; Ctrl-C, Ctrl-Break, a closed console) removes the file
// at path before the process ends as it would have; null removes nothing.
void platform_remove_on_interrupt(const char* path);
// platform_interrupts_hold(1) holds back interrupts until
// platform_interrupts_hold(0), when one that came meanwhile acts: a step
// that must not stop halfway (a write in place, a file made and armed for
// removal) is never cut. Not nested; the calling thread's last error is
// kept.
void platform_interrupts_hold(int hold);
// platform_process_gone returns 1 when no process has this id (it ended
// and nothing took the id since), 0 when one has or the OS cannot tell.
int platform_process_gone(uint32_t process);

// platform_last_error returns the error of the calling thread's last failed
// call (errno, GetLastError); platform_set_error makes one its last.
uint32_t platform_last_error(void);
// platform_error_text writes the OS's text for one of its errors,
// NUL-terminated and without a final line feed, and returns its length.
uint32_t platform_error_text(uint32_t error, char* buffer, uint32_t capacity);
// Errors of the tool's own, in the range Windows leaves to applications.
const uint32_t PLATFORM_ERROR_NOT_A_FILE = 0x20000001;    // a device, FIFO or socket
const uint32_t PLATFORM_ERROR_PATH_TOO_LONG = 0x20000002; // longer than the tool's buffers
const uint32_t PLATFORM_ERROR_SHRANK = 0x20000003;        // ended before its size was read
void platform_set_error(uint32_t error);
// platform_error_is_resource returns whether an error says the system ran
// short of handles or memory: not the file's fault, and worth trying again
// once others have let go.
int platform_error_is_resource(uint32_t error);
// platform_error_is_denied returns whether an error says we may not create
// or change a file there: no permission, or a read-only file system.
int platform_error_is_denied(uint32_t error);
// platform_error_is_exists returns whether an error says the name is taken
// already.
int platform_error_is_exists(uint32_t error);
// platform_error_is_busy returns whether an error says another process
// holds the file for a moment (a Windows sharing refusal): not a reason to
// give up.
int platform_error_is_busy(uint32_t error);
uint32_t platform_process_id(void);

// Paths in the system's own form: Windows joins names with a backslash
// and takes a slash too; on POSIX a backslash is an ordinary name byte.
// platform_folder_length returns the bytes of a path's folder part, up to
// and including its last separator; on Windows "D:" is the folder part of
// "D:out.h" too (drive D's current directory). platform_drive_length
// returns 2 for a path that starts with a drive ("C:"), else 0.
//
// PLATFORM_NAMES_FOLD_CASE: whether the system takes names without regard
// to ASCII case (Windows: "Render.H" is a C header there, "Profiler.h" the
// profiler header), so that the walk's filters compare names as it does.
#ifdef _WIN32
const int PLATFORM_NAMES_FOLD_CASE = 1;
const char PLATFORM_SEPARATOR = '\\';
inline int platform_is_separator(uint32_t c) { return c == '\\' || c == '/'; }
inline uint64_t platform_drive_length(const uint8_t* path, uint64_t length) {
    const int drive =
        length >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z');
    return drive ? 2 : 0;
}
inline uint64_t platform_folder_length(const uint8_t* path, uint64_t length) {
    uint64_t n = length;
    while (n != 0 && !platform_is_separator(path[n - 1]))
        --n;
    return n == 0 ? platform_drive_length(path, length) : n;
}
#else
const int PLATFORM_NAMES_FOLD_CASE = 0;
const char PLATFORM_SEPARATOR = '/';
inline int platform_is_separator(uint32_t c) { return c == '/'; }
inline uint64_t platform_drive_length(const uint8_t*, uint64_t) { return 0; }
inline uint64_t platform_folder_length(const uint8_t* path, uint64_t length) {
    uint64_t n = length;
    while (n != 0 && path[n - 1] != '/')
        --n;
    return n;
}
#endif

// platform_path_full writes the full path of a path, NUL-terminated:
// relative ones are read from the current directory (on Windows also "\\x"
// and "D:x" as the OS reads them), names joined with the system's separator,
// "." and ".." resolved by the text alone (no link is followed), no
// separator at the end but the root's. Returns its length, 0 when it does
// not fit or the current directory cannot be told.
uint32_t platform_path_full(const char* path, char* out, uint32_t capacity);

enum platform_std_t {
    PLATFORM_STD_OUTPUT = 0xFFFFFFF5, // -11
    PLATFORM_STD_ERROR = 0xFFFFFFF4,  // -12
};
// Like GetStdHandle: null when there is none, PLATFORM_INVALID_HANDLE on error.
platform_handle_t platform_std_handle(platform_std_t which);
// platform_console_write shows UTF-8 text on a handle that is a Windows
// console (WriteConsoleW: written as bytes it would be read in the
// console's code page) and returns 1 when it did, 0 when it failed; -1 when
// the handle is no console (a pipe, a file, and everything on POSIX), which
// then takes the bytes as they are.
int platform_console_write(platform_handle_t handle, const void* bytes, uint64_t length);

// Milliseconds since some fixed moment, never going back.
uint64_t platform_milliseconds(void);
