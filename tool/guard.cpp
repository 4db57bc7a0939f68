#include "tool/guard.h"

#include "base/file.h"
#include "tool/depfile.h"
#include "tool/header.h"
#include "tool/report.h"

namespace {

// A path and the file its links lead to, both terminated.
struct resolved_t {
    data_t given, final_path;
    char bytes[FILE_PATH_CAPACITY];
};

void resolve(const data_t& path, resolved_t* r) {
    r->given = path;
    const uint32_t n = file_path_resolve((const char*)path.data, r->bytes, sizeof r->bytes);
    // A link that cannot be read is judged by its own name.
    r->final_path = n != 0 ? data_make(n + 1, n, r->bytes) : path;
}

int exists(const data_t& path) {
    file_id_t id;
    return file_path_id((const char*)path.data, &id);
}

// Whether a search would list the file at path, now or once it exists.
int listed(const guard_search_t& search, const resolved_t& path) {
    for (uint32_t d = 0; d < search.directory_count; ++d) {
        const data_t* directory = &search.directories[d];
        if (dir_would_list(directory, &path.given, search.filter, search.flags) ||
            dir_would_list(directory, &path.final_path, search.filter, search.flags))
            return 1;
    }
    return 0;
}

// The first bytes of the file, up to room; -1 when it cannot be read.
int64_t read_start(const data_t& path, uint8_t* into, uint64_t room) {
    file_reader_t reader;
    if (!file_reader_open(&reader, (const char*)path.data, 0)) return -1;
    int failed = 0;
    const uint64_t n = file_reader_read(&reader, into, room, &failed);
    file_reader_close(&reader);
    return failed ? -1 : (int64_t)n;
}

// Whether the bytes start as every header does, with LF or CRLF line
// endings: git's autocrlf checks a header of ours out with CRLF.
int starts_as_a_header(const uint8_t* start, uint64_t n) {
    const char opening[] = HEADER_OPENING;
    uint64_t at = 0;
    for (uint64_t i = 0; i < n && at + 1 < sizeof opening; ++i) {
        if (start[i] == '\r' && i + 1 < n && start[i + 1] == '\n') continue;
        if (start[i] != (uint8_t)opening[at]) return 0;
        ++at;
    }
    return at + 1 == sizeof opening;
}

int refuse(const char* before, const data_t& name, const char* after) {
    report_error_about(before, name, after);
    return 0;
}

} // namespace

int guard_output(const guard_search_t& search, const data_t& output, int scanned) {
    resolved_t path;
    resolve(output, &path);
    if (!exists(path.final_path)) return 1;
    // Room for the opening with a CR before each of its LFs.
    uint8_t start[2 * sizeof HEADER_OPENING];
    const int64_t n = read_start(path.final_path, start, sizeof start);
    const int ours_or_empty = n == 0 || (n > 0 && starts_as_a_header(start, (uint64_t)n));
    // Another name of the file may be a source of the search: only a
    // header of ours is written through all of them, never an empty file.
    if (file_path_links((const char*)path.final_path.data) > 1 && (n <= 0 || !ours_or_empty))
        return refuse("the output ", output,
                      " has other names (hard links) and is not a header of ours; no header "
                      "written");
    if (ours_or_empty || !(scanned || listed(search, path))) return 1;
    return refuse("the output ", output,
                  " is one of the files searched and not a header of ours; no header written");
}

int guard_depfile(const guard_search_t& search, const data_t& depfile, const data_t& output) {
    resolved_t path, output_path;
    resolve(depfile, &path);
    resolve(output, &output_path);
    if (dir_same_entry(&path.given, &output_path.given) ||
        dir_same_entry(&path.final_path, &output_path.final_path))
        return refuse("the dependency file ", depfile, " is the output; nothing written");
    if (listed(search, path))
        return refuse("the dependency file ", depfile,
                      " is one of the files searched; nothing written");
    if (!exists(path.final_path)) return 1;
    data_t text = file_read_all((const char*)path.final_path.data, 0);
    const int ours = text.data && depfile_looks_ours(text.data, text.used);
    data_os_free(&text);
    // An empty file with other names may be an empty source under one.
    const int empty = file_holds_exactly((const char*)path.final_path.data, "", 0) == 1 &&
                      file_path_links((const char*)path.final_path.data) == 1;
    if (ours || empty) return 1;
    return refuse("the dependency file ", depfile,
                  " is not a dependency file this tool wrote; nothing written");
}
