#include "base/file.h"

#include "base/check.h"
#include "base/format.h"
#include "base/platform/platform.h"

namespace {

const uint64_t CHUNK_LIMIT = 0xFFFFFFFF;

uint32_t chunk_of(uint64_t remaining) {
    return (uint32_t)(remaining < CHUNK_LIMIT ? remaining : CHUNK_LIMIT);
}

// Handles fetched once and kept; null means not asked yet.
platform_handle_t std_out_handle;
platform_handle_t std_err_handle;

// Builds the terminated name in a buffer of the caller's; 0 when it does not
// fit with its zero byte and a byte to spare.
int terminated_name(data_t* buffer, const void* name, uint64_t name_length) {
    if (name_length + 1 >= buffer->size) return 0;
    data_append(buffer, name, name_length, 1);
    data_append_byte(buffer, 0);
    return 1;
}

// All the bytes through an open handle; the count written.
uint64_t write_through(platform_handle_t file, const void* bytes, uint64_t length) {
    uint64_t written = 0;
    while (length != 0) {
        uint32_t put = 0;
        if (!platform_file_write(file, (const uint8_t*)bytes + written, chunk_of(length), &put) ||
            put == 0)
            break;
        written += put;
        length -= put;
    }
    return written;
}

int std_write(platform_handle_t* cached, platform_std_t which, const void* bytes, uint64_t length) {
    if (*cached == 0) *cached = platform_std_handle(which);
    if (*cached == 0 || *cached == PLATFORM_INVALID_HANDLE) return 0;
    const int shown = platform_console_write(*cached, bytes, length);
    if (shown >= 0) return shown;
    // A pipe may take a large header in several writes.
    return write_through(*cached, bytes, length) == length;
}

} // namespace

int file_reader_open(file_reader_t* reader, const char* path, int keep_writers_out) {
    platform_handle_t file = platform_file_open_read(path, keep_writers_out);
    reader->file = file;
    reader->remaining = 0;
    if (file == PLATFORM_INVALID_HANDLE) return 0;
    if (!platform_file_size(file, &reader->remaining)) {
        platform_file_close(file);
        reader->file = PLATFORM_INVALID_HANDLE;
        return 0;
    }
    return 1;
}

uint64_t file_reader_read(file_reader_t* reader, void* into, uint64_t room, int* failed) {
    uint64_t total = 0;
    while (total < room && reader->remaining != 0) {
        uint64_t want = room - total < reader->remaining ? room - total : reader->remaining;
        uint32_t got = 0;
        // A read that succeeds with nothing means the file shrank after its
        // size was taken: it cannot be read whole.
        const int read =
            platform_file_read(reader->file, (uint8_t*)into + total, chunk_of(want), &got);
        if (!read || got == 0) {
            if (read) platform_set_error(PLATFORM_ERROR_SHRANK);
            *failed = 1;
            break;
        }
        total += got;
        reader->remaining -= got;
    }
    return total;
}

int file_reader_id(const file_reader_t* reader, file_id_t* id) {
    return platform_file_id(reader->file, &id->volume, &id->index);
}

int file_path_id(const char* path, file_id_t* id) {
    platform_path_info_t info;
    if (!platform_path_info(path, &info) || info.kind == PLATFORM_PATH_MISSING) return 0;
    *id = file_id_t{info.volume, info.index};
    return 1;
}

uint32_t file_path_links(const char* path) {
    platform_path_info_t info;
    if (!platform_path_info(path, &info) || info.kind != PLATFORM_PATH_FILE) return 0;
    return info.links;
}

uint32_t file_path_resolve(const char* path, char* out, uint32_t capacity) {
    return platform_path_resolve(path, out, capacity);
}

void file_reader_close(file_reader_t* reader) {
    if (reader->file != PLATFORM_INVALID_HANDLE) platform_file_close(reader->file);
    reader->file = PLATFORM_INVALID_HANDLE;
}

data_t file_read_all(const char* path, int terminate) {
    const uint64_t extra = terminate ? 1 : 0;
    file_reader_t reader;
    if (!file_reader_open(&reader, path, 1)) return data_t{0, 0, nullptr};
    const uint64_t size = reader.remaining;
    data_t result = data_os_alloc(size + extra, nullptr);
    result.used = result.size;
    if (!result.data) {
        result = data_t{0, 0, nullptr};
    } else {
        int failed = 0;
        if (file_reader_read(&reader, result.data, size, &failed) != size || failed)
            data_os_free(&result);
        else if (terminate)
            result.data[result.size - 1] = 0;
    }
    file_reader_close(&reader);
    return result;
}

uint64_t file_write_all(const char* path, const void* bytes, uint64_t length, int overwrite) {
    platform_handle_t file =
        platform_file_create(path, overwrite ? PLATFORM_CREATE_ALWAYS : PLATFORM_CREATE_NEW);
    if (file == PLATFORM_INVALID_HANDLE) return 0;
    const uint64_t written = write_through(file, bytes, length);
    platform_file_close(file);
    return written;
}

uint64_t file_write_all_counted(const void* name, uint64_t name_length, const void* bytes,
                                uint64_t length, int overwrite) {
    uint8_t buffer[512];
    data_t view = data_make(sizeof buffer, 0, buffer);
    if (!terminated_name(&view, name, name_length)) return 0;
    return file_write_all((const char*)buffer, bytes, length, overwrite);
}

uint64_t file_write_all_data(const data_t* name, const void* bytes, uint64_t length,
                             int overwrite) {
    return file_write_all_counted(name->data, name->used, bytes, length, overwrite);
}

namespace {

// Tries at temporary names before giving up: each taken name is another
// run's file or a user's, never to be touched.
const uint32_t TEMPORARY_ATTEMPTS = 100;
// Bytes of the target's name kept in the temporary name: with the dot, the
// numbers and ".tmp" it stays well under the 255 bytes a name may have.
const uint64_t TEMPORARY_BASE_LIMIT = 200;

file_replace_t failure(int temporary) {
    return file_replace_t{FILE_FAILED, platform_last_error(), (uint32_t)temporary};
}

} // namespace

namespace {

// Whether the file holds the bytes; with line_endings, a CR before any of
// their LFs is taken as part of that line ending.
int holds(const char* path, const uint8_t* expected, uint64_t length, int line_endings) {
    file_reader_t reader;
    if (!file_reader_open(&reader, path, 0)) return -1;
    uint64_t at = 0;
    // A CR the bytes do not have here, read where they have an LF: it
    // stands for nothing only when the file's next byte is that LF, which
    // may come in the next piece.
    int carriage_return = 0;
    int same = 1;
    uint8_t piece[16384];
    int failed = 0;
    while (same) {
        const uint64_t n = file_reader_read(&reader, piece, sizeof piece, &failed);
        if (failed || n == 0) break;
        for (uint64_t i = 0; same && i < n; ++i) {
            const uint8_t c = piece[i];
            if (carriage_return) {
                same = c == '\n';
                carriage_return = 0;
                ++at;
            } else if (at < length && c == expected[at]) {
                ++at;
            } else {
                same = line_endings && c == '\r' && at < length && expected[at] == '\n';
                carriage_return = same;
            }
        }
    }
    file_reader_close(&reader);
    return !failed && same && at == length;
}

} // namespace

int file_holds_exactly(const char* path, const void* bytes, uint64_t length) {
    return holds(path, (const uint8_t*)bytes, length, 0);
}

int file_holds_text(const char* path, const void* bytes, uint64_t length) {
    return holds(path, (const uint8_t*)bytes, length, 1);
}

namespace {

// The bytes of the target's name its temporary names keep, from base (the
// folder's length) on: at most TEMPORARY_BASE_LIMIT, never half a UTF-8
// character, so the name stays valid text.
uint64_t temporary_kept(const char* target, uint64_t base, uint64_t target_length) {
    uint64_t kept = target_length - base;
    if (kept > TEMPORARY_BASE_LIMIT) {
        kept = TEMPORARY_BASE_LIMIT;
        while (kept != 0 && ((uint8_t)target[base + kept] & 0xC0) == 0x80)
            --kept;
    }
    return kept;
}

// Creates this run's temporary file beside the target, exclusively: an
// existing name, a link included, is never opened. *attempt gives the try
// that made it.
platform_handle_t create_temporary(const char* target, uint64_t target_length, char* name,
                                   uint64_t capacity, uint32_t* attempt) {
    const uint32_t process = platform_process_id();
    for (*attempt = 0; *attempt < TEMPORARY_ATTEMPTS; ++*attempt) {
        if (!file_temporary_name(target, target_length, process, *attempt, name, capacity))
            return PLATFORM_INVALID_HANDLE;
        // Interrupts wait from before the file exists until its removal is
        // armed, so none leaves it behind; and a name that turned out to be
        // taken, someone else's file, is never armed.
        platform_interrupts_hold(1);
        platform_handle_t file = platform_file_create_temporary(name);
        if (file != PLATFORM_INVALID_HANDLE) platform_remove_on_interrupt(name);
        platform_interrupts_hold(0);
        if (file != PLATFORM_INVALID_HANDLE) return file;
        if (!platform_error_is_exists(platform_last_error())) break;
    }
    return PLATFORM_INVALID_HANDLE;
}

// A name for the old file to pass through while it is replaced: the next
// temporary name after the run's own that nothing stands at. 0 when there
// is none.
int backup_name(const char* target, uint64_t target_length, uint32_t attempt, char* name,
                uint64_t capacity) {
    const uint32_t process = platform_process_id();
    for (uint32_t next = attempt + 1; next <= attempt + TEMPORARY_ATTEMPTS; ++next) {
        platform_path_info_t info;
        if (!file_temporary_name(target, target_length, process, next, name, capacity)) return 0;
        if (platform_path_info(name, &info) && info.kind == PLATFORM_PATH_MISSING) return 1;
    }
    return 0;
}

// The process id in a name when it is one of the target's temporary
// names: ".", the kept name, ".", the process id, "-", the attempt, ".tmp",
// each number of one to ten digits and no more than 32 bits.
int temporary_process(const char* name, const char* kept_name, uint64_t kept, uint32_t* process) {
    const uint8_t* p = (const uint8_t*)name;
    if (*p++ != '.') return 0;
    for (uint64_t i = 0; i < kept; ++i)
        if (*p++ != (uint8_t)kept_name[i]) return 0;
    if (*p++ != '.') return 0;
    uint64_t numbers[2];
    const char after[2] = {'-', '.'};
    for (int k = 0; k < 2; ++k) {
        uint64_t value = 0;
        int digits = 0;
        // Numbers as the tool writes them: no leading zero.
        if (p[0] == '0' && p[1] >= '0' && p[1] <= '9') return 0;
        for (; *p >= '0' && *p <= '9'; ++p, ++digits) {
            if (digits == 10) return 0;
            value = value * 10 + (*p - '0');
        }
        if (digits == 0 || value > 0xFFFFFFFF || *p++ != after[k]) return 0;
        numbers[k] = value;
    }
    if (!(p[0] == 't' && p[1] == 'm' && p[2] == 'p' && p[3] == 0)) return 0;
    // A run tries its own names and then as many backup names after them.
    if (numbers[1] >= 2 * TEMPORARY_ATTEMPTS) return 0;
    *process = (uint32_t)numbers[0];
    return 1;
}

// Removes the temporary files of this target that runs which are gone left
// behind (killed before they could remove them: SIGKILL, a build system
// stopping its jobs, TerminateProcess), so that they do not pile up beside
// the output. Only names of the target's own temporary files whose process
// no longer runs: never a live run's, never any other file.
void remove_stale_temporaries(const char* target, uint64_t target_length) {
    const uint64_t base = platform_folder_length((const uint8_t*)target, target_length);
    const uint64_t kept = temporary_kept(target, base, target_length);
    char path[FILE_PATH_CAPACITY];
    if (base + 3 > sizeof path) return;
    data_t pattern = data_make(sizeof path, 0, path);
    if (base == 0) {
        data_append_byte(&pattern, '.');
        data_append_byte(&pattern, PLATFORM_SEPARATOR);
    }
    data_append(&pattern, target, base, 1);
    data_append(&pattern, "*", 2, 1); // with its zero byte
    platform_find_entry_t entry;
    const platform_handle_t search = platform_find_first(path, &entry);
    if (search == PLATFORM_INVALID_HANDLE) return;
    const uint32_t self = platform_process_id();
    do {
        uint32_t process = 0;
        const uint64_t name_length = text_length(entry.name);
        if ((entry.attributes & PLATFORM_ATTRIBUTE_DIRECTORY) ||
            base + name_length >= sizeof path ||
            !temporary_process(entry.name, target + base, kept, &process) || process == self ||
            !platform_process_gone(process))
            continue;
        data_t stale = data_make(sizeof path, 0, path);
        data_append(&stale, target, base, 1);
        data_append(&stale, entry.name, name_length, 1);
        data_append_byte(&stale, 0);
        platform_file_delete(path);
    } while (platform_find_next(search, &entry) == 1);
    platform_find_close(search);
}

} // namespace

uint64_t file_temporary_name(const char* target, uint64_t target_length, uint32_t process,
                             uint32_t attempt, char* out, uint64_t capacity) {
    const uint64_t base = platform_folder_length((const uint8_t*)target, target_length);
    const uint64_t kept = temporary_kept(target, base, target_length);
    // The directory, ".", the kept name, ".", two numbers of up to ten
    // digits with "-" between, ".tmp" and the zero byte.
    if (base + kept + 28 > capacity) {
        platform_set_error(PLATFORM_ERROR_PATH_TOO_LONG);
        return 0;
    }
    data_t name = data_make(capacity, 0, out);
    data_append(&name, target, base, 1);
    data_append_byte(&name, '.');
    data_append(&name, target + base, kept, 1);
    data_append_byte(&name, '.');
    data_append_unsigned(&name, process, 0, 0, 0);
    data_append_byte(&name, '-');
    data_append_unsigned(&name, attempt, 0, 0, 0);
    data_append(&name, ".tmp", 5, 1); // with its zero byte
    return name.used - 1;
}

namespace {

// The bytes written over the file, then the file cut to their length: not
// in one step, but every name of a file with several keeps seeing it, and
// only the file's permission is needed, not its folder's.
file_replace_t write_in_place(const char* target, const void* bytes, uint64_t length) {
    platform_path_kind_t kind;
    platform_handle_t file = platform_file_open_write(target, &kind);
    if (file == PLATFORM_INVALID_HANDLE) return failure(0);
    // Runs writing at once take turns: one's cut between the other's write
    // and cut would leave a header with the longer one's length, the
    // missing bytes zeros.
    platform_file_lock(file);
    file_replace_t result{FILE_WRITTEN_IN_PLACE, 0, 0};
    // Never stopped halfway (a new start over an old tail): an interrupt
    // waits the moment it takes.
    platform_interrupts_hold(1);
    // Room for every byte first: a disk or a size limit that runs out
    // halfway would leave half a header in place of the old one.
    if (!platform_file_reserve(file, length) || write_through(file, bytes, length) != length ||
        !platform_file_truncate(file, length))
        result = failure(0);
    platform_interrupts_hold(0);
    platform_file_unlock(file);
    platform_file_close(file);
    return result;
}

// Writes the bytes to this run's temporary file (removed on an interrupt
// already) and moves it over the target.
file_replace_t replace_through_temporary(platform_handle_t file, const char* temporary,
                                         uint32_t attempt, const char* target,
                                         uint64_t target_length, int target_exists, int writable,
                                         const void* bytes, uint64_t length) {
    file_replace_t result{FILE_REPLACED, 0, 0};
    if (write_through(file, bytes, length) != length)
        result = failure(1);
    else if (target_exists)
        // After the bytes: a write by anyone but root clears the set-user-id
        // and set-group-id bits.
        platform_file_attributes_like(file, target);
    platform_file_close(file);
    char backup[FILE_PATH_CAPACITY];
    // Interrupts wait from the move until the removal is disarmed: a
    // Windows replace that fails halfway, the old file under the backup
    // name, is put right before the process may end.
    platform_interrupts_hold(1);
    if (result.outcome == FILE_REPLACED &&
        !(backup_name(target, target_length, attempt, backup, sizeof backup) &&
          platform_file_replace(temporary, target, backup)))
        result = failure(0);
    if (result.outcome != FILE_REPLACED) platform_file_delete(temporary);
    platform_remove_on_interrupt(nullptr);
    platform_interrupts_hold(0);
    // A folder that refuses the move though the file may be written (a
    // sticky folder, the file another user's): it is written in place.
    if (result.outcome == FILE_FAILED && !result.temporary && writable &&
        platform_error_is_denied(result.error))
        return write_in_place(target, bytes, length);
    return result;
}

} // namespace

file_replace_t file_replace_all(const void* name, uint64_t name_length, const void* bytes,
                                uint64_t length) {
    char given[FILE_PATH_CAPACITY];
    data_t given_view = data_make(sizeof given, 0, given);
    if (!terminated_name(&given_view, name, name_length))
        return file_replace_t{FILE_FAILED, PLATFORM_ERROR_PATH_TOO_LONG, 0};
    platform_path_info_t info;
    if (!platform_path_info(given, &info)) return failure(0);
    platform_path_kind_t kind = info.kind;
    if (kind == PLATFORM_PATH_DEVICE) {
        // A device or FIFO stays what it is: the bytes go into it.
        platform_path_kind_t opened = kind;
        platform_handle_t device = platform_file_open_write(given, &opened);
        if (device == PLATFORM_INVALID_HANDLE) return failure(0);
        if (opened == PLATFORM_PATH_DEVICE) {
            const int whole = write_through(device, bytes, length) == length;
            const file_replace_t result =
                whole ? file_replace_t{FILE_WRITTEN_THROUGH, 0, 0} : failure(0);
            platform_file_close(device);
            return result;
        }
        // A file stands there now: it is replaced like any other.
        platform_file_close(device);
        kind = opened;
    }

    char target[FILE_PATH_CAPACITY];
    const uint32_t target_length = platform_path_resolve(given, target, sizeof target);
    if (target_length == 0) return failure(0);
    remove_stale_temporaries(target, target_length);
    int writable = 0;
    if (kind != PLATFORM_PATH_MISSING) {
        if (file_holds_text(target, bytes, length) == 1)
            return file_replace_t{FILE_UNCHANGED, 0, 0};
        // A file we may not write is not replaced behind its owner's back
        // (renaming over it needs only the folder's permission).
        platform_path_kind_t opened;
        platform_handle_t probe = platform_file_open_write(target, &opened);
        writable = probe != PLATFORM_INVALID_HANDLE;
        if (writable)
            platform_file_close(probe);
        else if (!platform_error_is_busy(platform_last_error()))
            return failure(0);
        // Every name of a file with several must see the new header: a
        // rename would leave the others on the old one.
        if (writable && info.links > 1) return write_in_place(target, bytes, length);
    }

    char temporary[FILE_PATH_CAPACITY];
    uint32_t attempt = 0;
    platform_handle_t file =
        create_temporary(target, target_length, temporary, sizeof temporary, &attempt);
    if (file == PLATFORM_INVALID_HANDLE) {
        // A folder we may not create in (read-only, or sticky and another
        // user's) around a file we may write: the file is written in place.
        if (writable && platform_error_is_denied(platform_last_error()))
            return write_in_place(target, bytes, length);
        return failure(1);
    }
    return replace_through_temporary(file, temporary, attempt, target, target_length,
                                     kind != PLATFORM_PATH_MISSING, writable, bytes, length);
}

uint32_t file_error_text(uint32_t error, char* buffer, uint32_t capacity) {
    // The tool's own errors have texts of their own on every system.
    const char* own = error == PLATFORM_ERROR_NOT_A_FILE      ? "not a regular file"
                      : error == PLATFORM_ERROR_PATH_TOO_LONG ? "path too long"
                      : error == PLATFORM_ERROR_SHRANK        ? "changed while it was read"
                                                              : nullptr;
    if (!own) return platform_error_text(error, buffer, capacity);
    if (capacity == 0) return 0;
    uint32_t n = 0;
    for (; own[n] != 0 && n + 1 < capacity; ++n)
        buffer[n] = own[n];
    buffer[n] = 0;
    return n;
}

uint32_t file_last_error(void) { return platform_last_error(); }

int file_error_is_resource(uint32_t error) { return platform_error_is_resource(error); }

int std_out_write(const void* bytes, uint64_t length) {
    return std_write(&std_out_handle, PLATFORM_STD_OUTPUT, bytes, length);
}

int std_out_write_data(const data_t* text) { return std_out_write(text->data, text->used); }

int std_err_write(const void* bytes, uint64_t length) {
    return std_write(&std_err_handle, PLATFORM_STD_ERROR, bytes, length);
}

int std_err_write_data(const data_t* text) { return std_err_write(text->data, text->used); }
