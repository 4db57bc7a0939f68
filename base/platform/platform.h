#pragma once

#include <stdint.h>

// The one way in to the operating system. Each call gives the results of
// the KERNEL32 call it is named after; the Windows side is a thin layer over
// those very calls, the POSIX side builds the same results.

typedef uintptr_t platform_handle_t;
const platform_handle_t PLATFORM_INVALID_HANDLE = ~(platform_handle_t)0;

// Start-up work a platform needs before anything else runs (on POSIX: make
// sure no file we open can land on a closed standard descriptor).
void platform_init(void);
[[noreturn]] void platform_exit(uint32_t code);

// Memory: committed, zero-filled, read/write; null when refused (always for 0).
void* platform_memory_alloc(uint64_t size);
void platform_memory_free(void* block, uint64_t size);

// Threads, like CreateThread and WaitForSingleObject. The function's result
// is not kept.
typedef uint32_t (*platform_thread_function_t)(void* argument);
// PLATFORM_INVALID_HANDLE when the OS refuses a thread.
platform_handle_t platform_thread_start(platform_thread_function_t function, void* argument);
// Waits for the thread to end, then releases it.
void platform_thread_join(platform_handle_t thread);
// Processors this process may run on, at least 1.
uint32_t platform_processor_count(void);
// Gives the processor to another thread that is ready to run, if any.
void platform_thread_yield(void);
// Sleeps briefly: a fifth of a millisecond, or the shortest sleep the OS has.
void platform_thread_nap(void);

// The process's command line as NUL-terminated UTF-16, low byte first.
const uint16_t* platform_command_line(void);

// Path of the running executable, NUL-terminated; returns the characters
// written without the NUL, buffer_size when it was cut, 0 on failure.
uint32_t platform_module_path(char* buffer, uint32_t buffer_size);

// Directory enumeration, like FindFirstFileA / FindNextFileA / FindClose.
struct platform_find_entry_t {
    uint32_t attributes; // PLATFORM_ATTRIBUTE_DIRECTORY or 0
    uint32_t size_high;
    uint32_t size_low;
    uint32_t write_time_low;
    uint32_t write_time_high;
    char name[260]; // NUL-terminated bare name
};
const uint32_t PLATFORM_ATTRIBUTE_DIRECTORY = 0x10;

platform_handle_t platform_find_first(const char* pattern, platform_find_entry_t* entry);
int platform_find_next(platform_handle_t search, platform_find_entry_t* entry);
void platform_find_close(platform_handle_t search);

// Files, like CreateFileA and friends.
enum platform_create_t {
    PLATFORM_CREATE_NEW = 1,    // fails when the file exists
    PLATFORM_CREATE_ALWAYS = 2, // creates, or empties an existing file
};
// Open an existing regular file for reading; other readers are admitted.
platform_handle_t platform_file_open_read(const char* path);
// Open for writing with every other opener kept out.
platform_handle_t platform_file_create(const char* path, platform_create_t disposition);
int platform_file_size(platform_handle_t file, uint64_t* size);
int platform_file_read(platform_handle_t file, void* buffer, uint32_t n, uint32_t* read);
int platform_file_write(platform_handle_t file, const void* bytes, uint32_t n, uint32_t* written);
void platform_file_close(platform_handle_t file);
// Moves a file over another one in a single step.
int platform_file_replace(const char* from, const char* to);
int platform_file_delete(const char* path);

enum platform_std_t {
    PLATFORM_STD_OUTPUT = 0xFFFFFFF5, // -11
    PLATFORM_STD_ERROR = 0xFFFFFFF4,  // -12
};
// Like GetStdHandle: null when there is none, PLATFORM_INVALID_HANDLE on error.
platform_handle_t platform_std_handle(platform_std_t which);
