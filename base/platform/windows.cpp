// The platform layer on Windows: each call of platform.h made of KERNEL32's
// wide calls. Paths arrive as UTF-8 and reach the OS as UTF-16, through
// their "\\?\" form where Windows would otherwise cut or change them
// (windows_path.cpp decides), so no code page ever reads one. A replace
// follows the steps of windows_replace.cpp, and a file another process
// holds for a moment is tried again. No runtime library is linked: the few
// functions the compiler may call on its own are defined here.

#include "base/platform/platform.h"

#include "base/format.h"
#include "base/platform/windows_path.h"
#include "base/platform/windows_replace.h"
#include "base/utf.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

platform_handle_t from_handle(HANDLE handle) { return (platform_handle_t)handle; }
HANDLE to_handle(platform_handle_t handle) { return (HANDLE)handle; }

// Room for a path in UTF-16 units: the longest path the tool builds (2048
// bytes) with the "\\?\UNC\" prefix, or a full path made of it.
const uint32_t WIDE_PATH_CAPACITY = 4096 + 16;

struct wide_path_t {
    wchar_t text[WIDE_PATH_CAPACITY];
};

// The full path of what a relative path starts from: the current
// directory, the current drive's root, or a drive's own current directory.
int anchor_base(const wchar_t* path, windows_anchor_t anchor, wide_path_t* base) {
    if (anchor == WINDOWS_FULL) {
        base->text[0] = 0;
        return 1;
    }
    const wchar_t drive[3] = {path[0], ':', 0};
    const wchar_t* asked = anchor == WINDOWS_ROOTED  ? L"\\"
                           : anchor == WINDOWS_DRIVE ? drive
                                                     : L".";
    const DWORD n = GetFullPathNameW(asked, WIDE_PATH_CAPACITY, base->text, nullptr);
    return n != 0 && n < WIDE_PATH_CAPACITY;
}

// The tool's paths are UTF-8; the wide calls take UTF-16, so no code page
// ever reads them. Windows limits a relative path by the length of its
// full path (the working directory and the path), and its clean-up strips
// a dot or space that ends a name, though the walk lists such names: so a
// path whose full path is too long for the classic calls, or holds such a
// name, becomes the "\\?\" form of its full path, which is taken exactly
// and up to 32,767 units. Any other path is taken as given (so "NUL" stays
// the device), or as its full path when asked (ReplaceFileW under Wine
// takes no other). 0, with the error set, when the path is not well-formed
// UTF-8 or too long.
int wide_path(const char* path, wide_path_t* out, int always_full = 0) {
    wide_path_t given;
    if (utf8_to_utf16(path, (uint16_t*)given.text, WIDE_PATH_CAPACITY) < 0) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    const windows_anchor_t anchor = windows_path_anchor((const uint16_t*)given.text);
    wide_path_t base, full;
    if (!anchor_base(given.text, anchor, &base)) return 0;
    const int32_t length =
        windows_path_full((const uint16_t*)given.text, (const uint16_t*)base.text,
                          (uint16_t*)full.text, WIDE_PATH_CAPACITY);
    const wchar_t* chosen = always_full ? full.text : given.text;
    if (length < 0 || windows_path_needs_extended((const uint16_t*)full.text, (uint32_t)length)) {
        if (length < 0 || windows_path_extended((const uint16_t*)full.text, (uint16_t*)out->text,
                                                WIDE_PATH_CAPACITY) < 0) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        return 1;
    }
    uint32_t i = 0;
    for (; chosen[i] != 0; ++i)
        out->text[i] = chosen[i];
    out->text[i] = 0;
    return 1;
}

// Links to directories (junctions, directory symbolic links: reparse points
// that stand for another name) are left out of the enumeration, as links to
// directories are on POSIX, so the walk never goes round in a loop. Wine
// gives its links a tag of 0, which counts as such a link. "." and ".." are
// the directory itself and its parent, whatever they are.
int is_directory_link(const WIN32_FIND_DATAW* found) {
    const DWORD both = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((found->dwFileAttributes & both) != both) return 0;
    const wchar_t* name = found->cFileName;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) return 0;
    return found->dwReserved0 == 0 || IsReparseTagNameSurrogate(found->dwReserved0);
}

// 0 for an entry to leave out: a directory link, or a name that does not
// fit the entry (more than 255 UTF-16 units never happen).
int copy_entry(const WIN32_FIND_DATAW* found, platform_find_entry_t* entry) {
    if (is_directory_link(found)) return 0;
    entry->attributes = found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    entry->size_high = found->nFileSizeHigh;
    entry->size_low = found->nFileSizeLow;
    entry->write_time_low = found->ftLastWriteTime.dwLowDateTime;
    entry->write_time_high = found->ftLastWriteTime.dwHighDateTime;
    return utf16_to_utf8((const uint16_t*)found->cFileName, entry->name, sizeof entry->name) >= 0;
}

// The next entry to hand out, links passed over: 1, or 0 at the end, or -1
// when the listing failed midway (a network share that drops).
int next_entry(HANDLE search, WIN32_FIND_DATAW* found, platform_find_entry_t* entry) {
    while (FindNextFileW(search, found))
        if (copy_entry(found, entry)) return 1;
    return GetLastError() == ERROR_NO_MORE_FILES ? 0 : -1;
}

// Another process (an editor saving, a virus scanner, the search indexer)
// may hold a file without sharing it for a moment: such a refusal is tried
// again, for this long by the clock. Sleep(1) sleeps a whole timer tick
// (15.6 ms unless someone asked for less), so a count of naps would not
// tell the time.
const ULONGLONG HELD_MS = 50;

template <typename attempt_t> int retry_while_held(attempt_t attempt, int access_refusals_too) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (attempt()) return 1;
        const DWORD error = GetLastError();
        const int held =
            platform_error_is_busy(error) || (access_refusals_too && error == ERROR_ACCESS_DENIED);
        if (!held || GetTickCount64() - start >= HELD_MS) return 0;
        Sleep(1);
        SetLastError(error);
    }
}

} // namespace

// The compiler may still emit calls to these for block copies and
// clears; with no runtime library linked, they are ours to give. (MSVC's
// cl takes them for intrinsics unless told they are functions here; and a
// program that uses floating point must define _fltused, which the runtime
// would.)
#if defined(_MSC_VER) && !defined(__clang__)
#pragma function(memset, memcpy, memmove, memcmp)
#endif
extern "C" {
#if defined(_MSC_VER)
int _fltused = 0;
#endif
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
    // The processors this process may use (start /affinity, a job's
    // limits), not all the machine has.
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        uint32_t count = 0;
        for (; process != 0; process &= process - 1)
            ++count;
        return count;
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
}

void platform_thread_yield(void) { SwitchToThread(); }

void platform_thread_nap(void) { Sleep(1); }

platform_handle_t platform_semaphore_create(void) {
    HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
    return semaphore ? from_handle(semaphore) : PLATFORM_INVALID_HANDLE;
}

void platform_semaphore_release(platform_handle_t semaphore, uint32_t count) {
    if (count != 0) ReleaseSemaphore(to_handle(semaphore), (LONG)count, nullptr);
}

void platform_semaphore_wait(platform_handle_t semaphore, uint32_t milliseconds) {
    WaitForSingleObject(to_handle(semaphore), milliseconds);
}

void platform_semaphore_free(platform_handle_t semaphore) { CloseHandle(to_handle(semaphore)); }

const uint16_t* platform_command_line(void) { return (const uint16_t*)GetCommandLineW(); }

uint32_t platform_module_path(char* buffer, uint32_t buffer_size) {
    wide_path_t path;
    const DWORD n = GetModuleFileNameW(nullptr, path.text, WIDE_PATH_CAPACITY);
    if (n == 0 || buffer_size == 0) return 0;
    if (n >= WIDE_PATH_CAPACITY) return buffer_size;
    const int32_t length = utf16_to_utf8((const uint16_t*)path.text, buffer, buffer_size);
    return length < 0 ? buffer_size : (uint32_t)length;
}

platform_handle_t platform_find_first(const char* pattern, platform_find_entry_t* entry) {
    wide_path_t wide;
    if (!wide_path(pattern, &wide)) return PLATFORM_INVALID_HANDLE;
    WIN32_FIND_DATAW found;
    // No short names to look up, and entries fetched in large batches.
    HANDLE search = FindFirstFileExW(wide.text, FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) return PLATFORM_INVALID_HANDLE;
    if (!copy_entry(&found, entry)) {
        const int next = next_entry(search, &found, entry);
        if (next != 1) {
            const DWORD error = next == 0 ? ERROR_FILE_NOT_FOUND : GetLastError();
            FindClose(search);
            SetLastError(error);
            return PLATFORM_INVALID_HANDLE;
        }
    }
    return from_handle(search);
}

int platform_find_next(platform_handle_t search, platform_find_entry_t* entry) {
    WIN32_FIND_DATAW found;
    return next_entry(to_handle(search), &found, entry);
}

void platform_find_close(platform_handle_t search) { FindClose(to_handle(search)); }

platform_handle_t platform_file_open_read(const char* path, int keep_writers_out) {
    wide_path_t wide;
    if (!wide_path(path, &wide)) return PLATFORM_INVALID_HANDLE;
    // Deleting and renaming are shared: an editor that saves by renaming a
    // new file over the source must not fail while we read it (the open
    // handle goes on reading the old contents).
    const DWORD share =
        FILE_SHARE_READ | FILE_SHARE_DELETE | (keep_writers_out ? 0 : FILE_SHARE_WRITE);
    HANDLE file = INVALID_HANDLE_VALUE;
    const int opened = retry_while_held(
        [&] {
            file = CreateFileW(wide.text, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            return file != INVALID_HANDLE_VALUE;
        },
        0);
    if (!opened) return PLATFORM_INVALID_HANDLE;
    // Only files on disk: a device name such as NUL or CON is never read.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        SetLastError(PLATFORM_ERROR_NOT_A_FILE);
        return PLATFORM_INVALID_HANDLE;
    }
    return from_handle(file);
}

platform_handle_t platform_file_create(const char* path, platform_create_t disposition) {
    wide_path_t wide;
    if (!wide_path(path, &wide)) return PLATFORM_INVALID_HANDLE;
    HANDLE file = CreateFileW(wide.text, GENERIC_WRITE, 0, nullptr, (DWORD)disposition, 0, nullptr);
    return file == INVALID_HANDLE_VALUE ? PLATFORM_INVALID_HANDLE : from_handle(file);
}

platform_handle_t platform_file_create_temporary(const char* path) {
    wide_path_t wide;
    if (!wide_path(path, &wide)) return PLATFORM_INVALID_HANDLE;
    HANDLE file =
        CreateFileW(wide.text, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, 0, nullptr);
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

int platform_file_replace(const char* from, const char* to, const char* backup) {
    // A file just written is often opened at once by the search indexer or
    // a virus scanner, without delete sharing; they let go within
    // milliseconds. An existing target is replaced with ReplaceFileW, which
    // keeps its access control list and attributes (a move would give it
    // the temporary file's); a missing one is moved into place. The old
    // file passes through the backup name, so that a replace that fails
    // halfway can be put right (windows_replace.h says how).
    wide_path_t wide_from, wide_to, wide_backup;
    if (!wide_path(from, &wide_from, 1) || !wide_path(to, &wide_to, 1) ||
        !wide_path(backup, &wide_backup, 1))
        return 0;
    const ULONGLONG start = GetTickCount64();
    windows_replace_t replace;
    windows_replace_start(&replace);
    while (replace.step != WINDOWS_STEP_REPLACED && replace.step != WINDOWS_STEP_FAILED) {
        BOOL ok = TRUE;
        switch (replace.step) {
        case WINDOWS_STEP_REPLACE:
            ok = ReplaceFileW(wide_to.text, wide_from.text, wide_backup.text,
                              REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                              nullptr, nullptr);
            break;
        case WINDOWS_STEP_MOVE_IN:
            ok = MoveFileExW(wide_from.text, wide_to.text, MOVEFILE_REPLACE_EXISTING);
            break;
        case WINDOWS_STEP_RESTORE:
            ok = MoveFileExW(wide_backup.text, wide_to.text, 0);
            break;
        case WINDOWS_STEP_DROP_BACKUP:
            ok = DeleteFileW(wide_backup.text);
            break;
        default: // WINDOWS_STEP_WAIT
            Sleep(1);
            break;
        }
        const DWORD error = ok ? 0 : GetLastError();
        windows_replace_next(&replace, ok, error, GetTickCount64() - start < HELD_MS);
    }
    if (replace.step == WINDOWS_STEP_REPLACED) return 1;
    SetLastError(replace.error);
    return 0;
}

int platform_file_delete(const char* path) {
    wide_path_t wide;
    return wide_path(path, &wide) && DeleteFileW(wide.text) != 0;
}

static_assert(WINDOWS_ERROR_FILE_NOT_FOUND == ERROR_FILE_NOT_FOUND &&
                  WINDOWS_ERROR_ACCESS_DENIED == ERROR_ACCESS_DENIED &&
                  WINDOWS_ERROR_SHARING_VIOLATION == ERROR_SHARING_VIOLATION &&
                  WINDOWS_ERROR_LOCK_VIOLATION == ERROR_LOCK_VIOLATION &&
                  WINDOWS_ERROR_UNABLE_TO_REMOVE_REPLACED == ERROR_UNABLE_TO_REMOVE_REPLACED &&
                  WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT == ERROR_UNABLE_TO_MOVE_REPLACEMENT &&
                  WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2,
              "the replace steps read the system's error numbers");

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

int platform_path_info(const char* path, platform_path_info_t* info) {
    // Opened without access to its contents (backup semantics admit a
    // directory), so that nobody holding it is disturbed.
    wide_path_t wide;
    if (!wide_path(path, &wide)) return 0;
    HANDLE file = CreateFileW(wide.text, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return 0;
        *info = platform_path_info_t{PLATFORM_PATH_MISSING, 0, 0, 0};
        return 1;
    }
    *info = platform_path_info_t{kind_of(file), 1, 0, 0};
    BY_HANDLE_FILE_INFORMATION found;
    if (GetFileInformationByHandle(file, &found)) {
        info->links = found.nNumberOfLinks;
        info->volume = found.dwVolumeSerialNumber;
        info->index = (uint64_t)found.nFileIndexHigh << 32 | found.nFileIndexLow;
    }
    CloseHandle(file);
    return 1;
}

int platform_file_id(platform_handle_t file, uint64_t* volume, uint64_t* index) {
    BY_HANDLE_FILE_INFORMATION found;
    if (!GetFileInformationByHandle(to_handle(file), &found)) return 0;
    *volume = found.dwVolumeSerialNumber;
    *index = (uint64_t)found.nFileIndexHigh << 32 | found.nFileIndexLow;
    return 1;
}

uint32_t platform_path_full(const char* path, char* out, uint32_t capacity) {
    wide_path_t given, base, full;
    if (utf8_to_utf16(path, (uint16_t*)given.text, WIDE_PATH_CAPACITY) < 0) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    const windows_anchor_t anchor = windows_path_anchor((const uint16_t*)given.text);
    if (!anchor_base(given.text, anchor, &base)) return 0;
    if (windows_path_full((const uint16_t*)given.text, (const uint16_t*)base.text,
                          (uint16_t*)full.text, WIDE_PATH_CAPACITY) < 0) {
        SetLastError(PLATFORM_ERROR_PATH_TOO_LONG);
        return 0;
    }
    const int32_t length = utf16_to_utf8((const uint16_t*)full.text, out, capacity);
    if (length <= 0) {
        SetLastError(PLATFORM_ERROR_PATH_TOO_LONG);
        return 0;
    }
    return (uint32_t)length;
}

uint32_t platform_path_resolve(const char* path, char* out, uint32_t capacity) {
    // A file symbolic link is followed to the file it names, which is then
    // replaced beside itself while the link stays, as on POSIX: the final
    // path of what the name opens. (Wine shows its links as plain files, so
    // every existing file is asked.) A missing file, a dangling link too,
    // is taken as it stands.
    wide_path_t wide, final_path;
    const char* chosen = path;
    char resolved[WIDE_PATH_CAPACITY * 3];
    HANDLE file = INVALID_HANDLE_VALUE;
    if (wide_path(path, &wide))
        file = CreateFileW(wide.text, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const DWORD n = GetFinalPathNameByHandleW(file, final_path.text, WIDE_PATH_CAPACITY,
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        CloseHandle(file);
        if (n != 0 && n < WIDE_PATH_CAPACITY &&
            utf16_to_utf8((const uint16_t*)final_path.text, resolved, sizeof resolved) > 0)
            chosen = resolved;
    }
    uint32_t length = 0;
    while (chosen[length] != 0)
        ++length;
    if (length + 1 > capacity) {
        SetLastError(PLATFORM_ERROR_PATH_TOO_LONG);
        return 0;
    }
    for (uint32_t i = 0; i <= length; ++i)
        out[i] = chosen[i];
    return length;
}

platform_handle_t platform_file_open_write(const char* path, platform_path_kind_t* kind) {
    wide_path_t wide;
    if (!wide_path(path, &wide)) return PLATFORM_INVALID_HANDLE;
    HANDLE file = CreateFileW(wide.text, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return PLATFORM_INVALID_HANDLE;
    *kind = kind_of(file);
    return from_handle(file);
}

int platform_file_reserve(platform_handle_t file, uint64_t size) {
    // Setting the end of a file past its data allocates the clusters then
    // (ERROR_DISK_FULL when they are not there), before a byte is written;
    // the write then starts from the beginning, as on a file just opened.
    LARGE_INTEGER current, start;
    start.QuadPart = 0;
    if (!GetFileSizeEx(to_handle(file), &current)) return 0;
    if ((uint64_t)current.QuadPart < size && !platform_file_truncate(file, size)) {
        platform_file_truncate(file, (uint64_t)current.QuadPart);
        SetFilePointerEx(to_handle(file), start, nullptr, FILE_BEGIN);
        return 0;
    }
    return SetFilePointerEx(to_handle(file), start, nullptr, FILE_BEGIN);
}

int platform_file_truncate(platform_handle_t file, uint64_t size) {
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)size;
    return SetFilePointerEx(to_handle(file), at, nullptr, FILE_BEGIN) &&
           SetEndOfFile(to_handle(file));
}

namespace {

// In-place writers lock one byte far past the end of any header: a byte
// range lock on Windows is mandatory for the bytes it covers, so a lock on
// the header's own bytes would refuse a compiler reading it meanwhile.
void lock_range(OVERLAPPED* at) {
    *at = OVERLAPPED{};
    at->Offset = 0;
    at->OffsetHigh = 0x7FFFFFFF;
}

} // namespace

void platform_file_lock(platform_handle_t file) {
    // No LOCKFILE_FAIL_IMMEDIATELY: on a handle opened for synchronous
    // use the call waits for the lock.
    OVERLAPPED at;
    lock_range(&at);
    LockFileEx(to_handle(file), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
}

void platform_file_unlock(platform_handle_t file) {
    // Unlocked before the handle closes: the documentation leaves the time
    // a close takes to let go of its locks open.
    OVERLAPPED at;
    lock_range(&at);
    UnlockFileEx(to_handle(file), 0, 1, 0, &at);
}

// Windows files have no permission bits; a read-only file refuses the
// probe for writing before it would be replaced.
void platform_file_attributes_like(platform_handle_t file, const char* model_path) {
    (void)file;
    (void)model_path;
}

namespace {

// The file an interrupt removes, converted before it is armed: the handler
// runs on a thread of its own and converts nothing.
wide_path_t interrupt_path;
volatile LONG interrupt_armed;
volatile LONG interrupts_held;

BOOL WINAPI on_interrupt(DWORD event) {
    // The handler runs on a thread of its own while the main thread goes
    // on: held, it waits for the main thread's step to end (a closed
    // console gives it five seconds; the steps take microseconds).
    while (interrupts_held)
        Sleep(1);
    if (interrupt_armed) DeleteFileW(interrupt_path.text);
    // Not handled: the next handler, the system's, ends the process.
    (void)event;
    return FALSE;
}

void catch_interrupts(void) {
    static int caught;
    if (!caught) caught = SetConsoleCtrlHandler(on_interrupt, TRUE) != 0;
}

} // namespace

void platform_remove_on_interrupt(const char* path) {
    InterlockedExchange(&interrupt_armed, 0);
    if (!path || !wide_path(path, &interrupt_path)) return;
    catch_interrupts();
    InterlockedExchange(&interrupt_armed, 1);
}

void platform_interrupts_hold(int hold) {
    const DWORD error = GetLastError();
    catch_interrupts();
    InterlockedExchange(&interrupts_held, hold ? 1 : 0);
    SetLastError(error);
}

int platform_process_gone(uint32_t process) {
    // Id 0 is the idle process, which OpenProcess refuses like a missing
    // one. A process that ended but is still held open by someone keeps
    // its id, so it is gone too; a refusal (another user's) is a live one.
    if (process == 0) return 0;
    HANDLE found = OpenProcess(SYNCHRONIZE, FALSE, process);
    if (!found) return GetLastError() == ERROR_INVALID_PARAMETER;
    const int ended = WaitForSingleObject(found, 0) == WAIT_OBJECT_0;
    CloseHandle(found);
    return ended;
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
    // In UTF-16, then UTF-8 like every other text of the tool.
    wchar_t wide[256];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, wide, 256, nullptr);
    if (length != 0) {
        const int32_t n = utf16_to_utf8((const uint16_t*)wide, buffer, capacity);
        length = n < 0 ? 0 : (DWORD)n;
    }
    if (length == 0) {
        // No text for it: the number, as Windows tools show it.
        const char prefix[] = "error ";
        uint32_t n = 0;
        for (; prefix[n] != 0 && n + 1 < capacity; ++n)
            buffer[n] = prefix[n];
        length =
            n + (uint32_t)format_unsigned((uint8_t*)buffer + n, capacity - 1 - n, error, 0, 0, 0);
    }
    // System messages end with a full stop and a line break.
    while (length != 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' ||
                           buffer[length - 1] == ' ' || buffer[length - 1] == '.'))
        --length;
    buffer[length < capacity ? length : capacity - 1] = 0;
    return length;
}

int platform_error_is_denied(uint32_t error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
}

int platform_error_is_exists(uint32_t error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

int platform_error_is_busy(uint32_t error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

uint32_t platform_process_id(void) { return GetCurrentProcessId(); }

namespace {

// UTF-8 to a console as UTF-16, in pieces; a byte that is no UTF-8 shows
// as U+FFFD.
int console_write(HANDLE console, const uint8_t* bytes, uint64_t length) {
    const uint8_t* end = bytes + length;
    wchar_t piece[1024];
    while (bytes < end) {
        DWORD n = 0;
        while (bytes < end && n + 2 <= 1024) {
            uint32_t code_point = 0xFFFD;
            const uint32_t used = utf8_decode(bytes, end, &code_point);
            bytes += used ? used : 1;
            if (code_point >= 0x10000) {
                piece[n++] = (wchar_t)(0xD800 + ((code_point - 0x10000) >> 10));
                piece[n++] = (wchar_t)(0xDC00 + ((code_point - 0x10000) & 0x3FF));
            } else {
                piece[n++] = (wchar_t)code_point;
            }
        }
        for (DWORD at = 0; at < n;) {
            DWORD written = 0;
            if (!WriteConsoleW(console, piece + at, n - at, &written, nullptr) || written == 0)
                return 0;
            at += written;
        }
    }
    return 1;
}

} // namespace

int platform_console_write(platform_handle_t handle, const void* bytes, uint64_t length) {
    DWORD mode = 0;
    if (!GetConsoleMode(to_handle(handle), &mode)) return -1;
    return console_write(to_handle(handle), (const uint8_t*)bytes, length);
}

uint64_t platform_milliseconds(void) { return GetTickCount64(); }

platform_handle_t platform_std_handle(platform_std_t which) {
    return from_handle(GetStdHandle((DWORD)which));
}
