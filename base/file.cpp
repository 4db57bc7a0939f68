#include "file.h"

#include "check.h"
#include "platform/platform.h"

namespace {

const uint64_t CHUNK_LIMIT = 0xFFFFFFFF;

uint32_t chunk_of(uint64_t remaining) {
    return (uint32_t)(remaining < CHUNK_LIMIT ? remaining : CHUNK_LIMIT);
}

// Handles fetched once and kept; null means not asked yet.
platform_handle_t std_out_handle;
platform_handle_t std_err_handle;

int std_write(platform_handle_t* cached, platform_std_t which, const void* bytes, uint64_t length) {
    CHECK(length <= CHUNK_LIMIT);
    if (*cached == 0) *cached = platform_std_handle(which);
    if (*cached == 0 || *cached == PLATFORM_INVALID_HANDLE) return 0;
    uint32_t written = 0;
    return platform_file_write(*cached, bytes, (uint32_t)length, &written);
}

// Builds the terminated name in a buffer of the caller's; 0 when it does not
// fit with its zero byte and a byte to spare.
int terminated_name(data_t* buffer, const void* name, uint64_t name_length) {
    if (name_length + 1 >= buffer->size) return 0;
    data_append(buffer, name, name_length, 1);
    data_append_byte(buffer, 0);
    return 1;
}

} // namespace

int file_reader_open(file_reader_t* reader, const char* path) {
    platform_handle_t file = platform_file_open_read(path);
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
        if (!platform_file_read(reader->file, (uint8_t*)into + total, chunk_of(want), &got) ||
            got == 0) {
            *failed = 1;
            break;
        }
        total += got;
        reader->remaining -= got;
    }
    return total;
}

void file_reader_close(file_reader_t* reader) {
    if (reader->file != PLATFORM_INVALID_HANDLE) platform_file_close(reader->file);
    reader->file = PLATFORM_INVALID_HANDLE;
}

data_t file_read_all(const char* path, int terminate) {
    const uint64_t extra = terminate ? 1 : 0;
    file_reader_t reader;
    if (!file_reader_open(&reader, path)) return data_t{0, 0, nullptr};
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
    uint64_t written = 0;
    while (length != 0) {
        uint32_t put = 0;
        if (!platform_file_write(file, (const uint8_t*)bytes + written, chunk_of(length), &put) ||
            put == 0)
            break;
        written += put;
        length -= put;
    }
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

int file_replace_all(const void* name, uint64_t name_length, const void* bytes, uint64_t length) {
    uint8_t target[512], temporary[520];
    data_t target_view = data_make(sizeof target, 0, target);
    data_t temporary_view = data_make(sizeof temporary, 0, temporary);
    if (!terminated_name(&target_view, name, name_length)) return 0;
    data_append(&temporary_view, name, name_length, 1);
    data_append(&temporary_view, ".tmp", 5, 1); // with its zero byte
    if (file_write_all((const char*)temporary, bytes, length, 1) != length) {
        platform_file_delete((const char*)temporary);
        return 0;
    }
    if (!platform_file_replace((const char*)temporary, (const char*)target)) {
        platform_file_delete((const char*)temporary);
        return 0;
    }
    return 1;
}

int std_out_write(const void* bytes, uint64_t length) {
    return std_write(&std_out_handle, PLATFORM_STD_OUTPUT, bytes, length);
}

int std_out_write_data(const data_t* text) { return std_out_write(text->data, text->used); }

int std_err_write(const void* bytes, uint64_t length) {
    return std_write(&std_err_handle, PLATFORM_STD_ERROR, bytes, length);
}

int std_err_write_data(const data_t* text) { return std_err_write(text->data, text->used); }
