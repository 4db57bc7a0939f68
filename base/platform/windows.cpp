// The KERNEL32 calls themselves: the rest of the tool is written against
// their results, so this layer only narrows the types.

#include "platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

platform_handle_t from_handle(HANDLE handle) { return (platform_handle_t)handle; }
HANDLE to_handle(platform_handle_t handle) { return (HANDLE)handle; }

void copy_entry(const WIN32_FIND_DATAA* found, platform_find_entry_t* entry) {
    entry->attributes = found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    entry->size_high = found->nFileSizeHigh;
    entry->size_low = found->nFileSizeLow;
    entry->write_time_low = found->ftLastWriteTime.dwLowDateTime;
    entry->write_time_high = found->ftLastWriteTime.dwHighDateTime;
    uint32_t i = 0;
    for (; i < sizeof entry->name - 1 && found->cFileName[i]; ++i)
        entry->name[i] = found->cFileName[i];
    entry->name[i] = 0;
}

} // namespace

// The compiler may still emit calls to these for block copies and
// clears; with no runtime library linked, they are ours to give.
extern "C" {
void* memset(void* destination, int value, size_t n) {
    volatile uint8_t* to = (volatile uint8_t*)destination;
    for (size_t i = 0; i < n; ++i)
        to[i] = (uint8_t)value;
    return destination;
}
void* memcpy(void* destination, const void* source, size_t n) {
    volatile uint8_t* to = (volatile uint8_t*)destination;
    const uint8_t* from = (const uint8_t*)source;
    for (size_t i = 0; i < n; ++i)
        to[i] = from[i];
    return destination;
}
void* memmove(void* destination, const void* source, size_t n) {
    volatile uint8_t* to = (volatile uint8_t*)destination;
    const uint8_t* from = (const uint8_t*)source;
    if (to < from)
        for (size_t i = 0; i < n; ++i)
            to[i] = from[i];
    else
        for (size_t i = n; i > 0; --i)
            to[i - 1] = from[i - 1];
    return destination;
}
int memcmp(const void* a, const void* b, size_t n) {
    const uint8_t* x = (const uint8_t*)a;
    const uint8_t* y = (const uint8_t*)b;
    for (size_t i = 0; i < n; ++i)
        if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    return 0;
}
}

void platform_init(void) {}

void platform_exit(uint32_t code) { ExitProcess(code); }

void* platform_memory_alloc(uint64_t size) {
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void platform_memory_free(void* block, uint64_t size) {
    (void)size;
    if (block) VirtualFree(block, 0, MEM_RELEASE);
}

// Committed whole when the thread starts: with no runtime there are no
// stack probes to commit it page by page.
const SIZE_T THREAD_STACK_SIZE = 256 * 1024;

platform_handle_t platform_thread_start(platform_thread_function_t function, void* argument) {
    // On x64 Windows the thread routine's convention is the plain one, and
    // DWORD is uint32_t: the function is a thread routine as it stands.
    HANDLE thread = CreateThread(nullptr, THREAD_STACK_SIZE,
                                 (LPTHREAD_START_ROUTINE)(void*)function, argument, 0, nullptr);
    return thread ? from_handle(thread) : PLATFORM_INVALID_HANDLE;
}

void platform_thread_join(platform_handle_t thread) {
    WaitForSingleObject(to_handle(thread), INFINITE);
    CloseHandle(to_handle(thread));
}

uint32_t platform_processor_count(void) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
}

void platform_thread_yield(void) { SwitchToThread(); }

void platform_thread_nap(void) { Sleep(1); }

const uint16_t* platform_command_line(void) { return (const uint16_t*)GetCommandLineW(); }

uint32_t platform_module_path(char* buffer, uint32_t buffer_size) {
    return GetModuleFileNameA(nullptr, buffer, buffer_size);
}

platform_handle_t platform_find_first(const char* pattern, platform_find_entry_t* entry) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return PLATFORM_INVALID_HANDLE;
    copy_entry(&found, entry);
    return from_handle(search);
}

int platform_find_next(platform_handle_t search, platform_find_entry_t* entry) {
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(to_handle(search), &found)) return 0;
    copy_entry(&found, entry);
    return 1;
}

void platform_find_close(platform_handle_t search) { FindClose(to_handle(search)); }

platform_handle_t platform_file_open_read(const char* path) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return PLATFORM_INVALID_HANDLE;
    // Only files on disk: a device name such as NUL or CON is never read.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        SetLastError(PLATFORM_ERROR_NOT_A_FILE);
        return PLATFORM_INVALID_HANDLE;
    }
    return from_handle(file);
}

platform_handle_t platform_file_create(const char* path, platform_create_t disposition) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, (DWORD)disposition, 0, nullptr);
    return file == INVALID_HANDLE_VALUE ? PLATFORM_INVALID_HANDLE : from_handle(file);
}

int platform_file_size(platform_handle_t file, uint64_t* size) {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(to_handle(file), &value)) return 0;
    *size = (uint64_t)value.QuadPart;
    return 1;
}

int platform_file_read(platform_handle_t file, void* buffer, uint32_t n, uint32_t* read) {
    DWORD got = 0;
    BOOL ok = ReadFile(to_handle(file), buffer, n, &got, nullptr);
    *read = got;
    return ok != 0;
}

int platform_file_write(platform_handle_t file, const void* bytes, uint32_t n, uint32_t* written) {
    DWORD put = 0;
    BOOL ok = WriteFile(to_handle(file), bytes, n, &put, nullptr);
    *written = put;
    return ok != 0;
}

void platform_file_close(platform_handle_t file) { CloseHandle(to_handle(file)); }

int platform_file_replace(const char* from, const char* to) {
    // A file just written is often opened at once by the search indexer or
    // a virus scanner, without delete sharing; they let go within
    // milliseconds. About 50 ms in all, then the refusal stands.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return 1;
        const DWORD error = GetLastError();
        if (attempt == 10 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
                              error != ERROR_LOCK_VIOLATION))
            return 0;
        Sleep(5);
        SetLastError(error);
    }
}

int platform_file_delete(const char* path) { return DeleteFileA(path) != 0; }

namespace {

// What an open handle is: a file on disk, a directory, or a device (NUL,
// CON, a pipe).
platform_path_kind_t kind_of(HANDLE file) {
    if (GetFileType(file) != FILE_TYPE_DISK) return PLATFORM_PATH_DEVICE;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return PLATFORM_PATH_DIRECTORY;
    return PLATFORM_PATH_FILE;
}

} // namespace

int platform_path_kind(const char* path, platform_path_kind_t* kind) {
    // Opened without access to its contents (backup semantics admit a
    // directory), so that nobody holding it is disturbed.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return 0;
        *kind = PLATFORM_PATH_MISSING;
        return 1;
    }
    *kind = kind_of(file);
    CloseHandle(file);
    return 1;
}

uint32_t platform_path_resolve(const char* path, char* out, uint32_t capacity) {
    // Replacing a Windows file symbolic link replaces the link; the path is
    // taken as it stands.
    uint32_t length = 0;
    while (path[length] != 0)
        ++length;
    if (length + 1 > capacity) {
        SetLastError(PLATFORM_ERROR_PATH_TOO_LONG);
        return 0;
    }
    for (uint32_t i = 0; i <= length; ++i)
        out[i] = path[i];
    return length;
}

platform_handle_t platform_file_open_write(const char* path, platform_path_kind_t* kind) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return PLATFORM_INVALID_HANDLE;
    *kind = kind_of(file);
    return from_handle(file);
}

// Windows files have no permission bits; a read-only file refuses the
// probe for writing before it would be replaced.
void platform_file_mode_like(platform_handle_t file, const char* model_path) {
    (void)file;
    (void)model_path;
}

uint32_t platform_last_error(void) { return GetLastError(); }

void platform_set_error(uint32_t error) { SetLastError(error); }

int platform_error_is_resource(uint32_t error) {
    return error == ERROR_TOO_MANY_OPEN_FILES || error == ERROR_NOT_ENOUGH_MEMORY ||
           error == ERROR_OUTOFMEMORY || error == ERROR_NO_SYSTEM_RESOURCES ||
           error == ERROR_COMMITMENT_LIMIT;
}

uint32_t platform_error_text(uint32_t error, char* buffer, uint32_t capacity) {
    if (capacity == 0) return 0;
    if (error == PLATFORM_ERROR_NOT_A_FILE || error == PLATFORM_ERROR_PATH_TOO_LONG ||
        error == PLATFORM_ERROR_SHRANK) {
        const char* own = error == PLATFORM_ERROR_NOT_A_FILE      ? "not a regular file"
                          : error == PLATFORM_ERROR_PATH_TOO_LONG ? "path too long"
                                                                  : "changed while it was read";
        uint32_t n = 0;
        for (; own[n] != 0 && n + 1 < capacity; ++n)
            buffer[n] = own[n];
        buffer[n] = 0;
        return n;
    }
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, buffer, capacity, nullptr);
    if (length == 0) {
        // No text for it: the number, as Windows tools show it.
        const char prefix[] = "error ";
        uint32_t n = 0;
        for (; prefix[n] != 0 && n + 1 < capacity; ++n)
            buffer[n] = prefix[n];
        char digits[10];
        uint32_t count = 0;
        do
            digits[count++] = (char)('0' + error % 10);
        while ((error /= 10) != 0);
        while (count != 0 && n + 1 < capacity)
            buffer[n++] = digits[--count];
        length = n;
    }
    // System messages end with a full stop and a line break.
    while (length != 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' ||
                           buffer[length - 1] == ' ' || buffer[length - 1] == '.'))
        --length;
    buffer[length < capacity ? length : capacity - 1] = 0;
    return length;
}

int platform_error_is_exists(uint32_t error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

int platform_error_is_busy(uint32_t error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

uint32_t platform_process_id(void) { return GetCurrentProcessId(); }

platform_handle_t platform_std_handle(platform_std_t which) {
    return from_handle(GetStdHandle((DWORD)which));
}
