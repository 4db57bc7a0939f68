#pragma once

// What the tests, fuzz targets and benchmarks share: temporary folders that
// remove themselves, small file helpers, and id tables over vectors.

#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/dir.h"
#include "tool/id_table.h"

// Removes a tree whatever its permissions (a test may have locked a folder),
// links removed, never followed.
inline void remove_tree(const std::string& path) {
    // Folders first made enterable and writable, top down...
    nftw(
        path.c_str(),
        [](const char* p, const struct stat* info, int type, struct FTW*) {
            if (type == FTW_D || type == FTW_DNR) chmod(p, (info->st_mode & 07777) | 0700);
            return 0;
        },
        64, FTW_PHYS);
    // ...then everything removed, bottom up.
    nftw(
        path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); },
        64, FTW_DEPTH | FTW_PHYS);
}

// A fresh, empty folder under TMPDIR when it is set, as mktemp does, else
// under /tmp; "" when none could be made. (A run given a folder of its own,
// such as the mutation check, then removes what it leaves there without
// touching other runs' folders.)
inline std::string new_temp_dir(const std::string& name) {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern =
        std::string(folder && *folder ? folder : "/tmp") + "/tagloomsmith_" + name + "_XXXXXX";
    const char* made = mkdtemp(pattern.data());
    return made ? made : "";
}

// A fresh folder removed with all it holds when the value goes.
struct temp_dir_t {
    std::string path;

    explicit temp_dir_t(const std::string& name) : path(new_temp_dir(name)) {}
    ~temp_dir_t() {
        if (!path.empty()) remove_tree(path);
    }
    temp_dir_t(const temp_dir_t&) = delete;
    temp_dir_t& operator=(const temp_dir_t&) = delete;
};

// The folders of make_temp_dir, removed when the test program ends (by the
// process that made them, not a child that merely exits).
struct temp_registry_t {
    pid_t owner = getpid();
    std::vector<std::string> paths;
    ~temp_registry_t() {
        if (getpid() != owner) return;
        for (const std::string& path : paths)
            remove_tree(path);
    }
};
inline temp_registry_t& temp_registry() {
    static temp_registry_t registry;
    return registry;
}

// A fresh folder for a test that keeps only its path: removed when the
// test program ends.
inline std::string make_temp_dir(const std::string& name) {
    std::string path = new_temp_dir(name);
    if (!path.empty()) temp_registry().paths.push_back(path);
    return path;
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The file's bytes, or "<missing>" when it cannot be read.
inline std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The text with CRLF line endings, as git's autocrlf checks it out.
inline std::string with_crlf(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

inline void make_dir(const std::string& path) { mkdir(path.c_str(), 0700); }

// shell runs a command with sh and returns its exit code.
inline int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A file of one byte.
inline void touch(const std::string& path) { write_file(path, "x"); }

// A block over bytes of its own, zero at first: an arena or a buffer.
struct test_block_t {
    std::vector<uint8_t> bytes;
    data_t data;
    explicit test_block_t(uint64_t size) : bytes(size), data(data_make(size, 0, bytes.data())) {}
    test_block_t(const test_block_t&) = delete;
    test_block_t& operator=(const test_block_t&) = delete;
    // The bytes in use.
    std::string text() const { return std::string((const char*)data.data, data.used); }
};

// A string record over the bytes of a string or vector, which must outlive it.
template <typename bytes_t> data_t data_of(const bytes_t& s) {
    return data_make(s.size(), s.size(), (void*)s.data());
}

// A walk's filter from list texts, split as the driver splits them, with
// the texts its items point into.
struct test_filter_t {
    std::string extensions, exceptions;
    dir_filter_t filter{};
    test_filter_t(const std::string& e, const std::string& x) : extensions(e), exceptions(x) {
        const data_t e_text = data_of(extensions), x_text = data_of(exceptions);
        filter.extension_count = list_split(&e_text, filter.extensions, DIR_LIST_ITEMS);
        filter.exception_count = list_split(&x_text, filter.exceptions, DIR_LIST_ITEMS);
    }
    test_filter_t(const test_filter_t&) = delete;
    test_filter_t& operator=(const test_filter_t&) = delete;
};

// The two id tables the way the driver makes them, over vectors, filled from
// strings whose bytes they keep alive.
struct id_tables_t {
    std::vector<data_t> timeline_records, event_records;
    std::vector<uint32_t> timeline_slots, event_slots; // for a capacity above the default
    std::vector<std::string> storage;
    id_table_t timelines, events;

    explicit id_tables_t(uint64_t capacity = ID_TABLE_CAPACITY)
        : timeline_records(capacity), event_records(capacity),
          timeline_slots(id_table_slots(capacity)), event_slots(id_table_slots(capacity)),
          timelines{timeline_records.data(), 0, 0, 0, capacity, nullptr, timeline_slots.data()},
          events{event_records.data(), 0, 0, 0, capacity, nullptr, event_slots.data()} {
        storage.reserve(2 * capacity);
    }
    id_tables_t(const id_tables_t&) = delete;
    id_tables_t& operator=(const id_tables_t&) = delete;

    void add(id_table_t* table, const std::string& id) {
        storage.push_back(id);
        const std::string& s = storage.back();
        table->records[table->count++] = data_make(s.size(), s.size(), (void*)s.data());
    }
    // The tables with an arena, where a scan puts what it finds.
    id_store_t store(data_t* arena) { return id_store_t{arena, &timelines, &events}; }
    void timeline(const std::string& id) { add(&timelines, id); }
    void event(const std::string& id) { add(&events, id); }

    // A table's ids as strings, removed ones included (as empty strings).
    static std::vector<std::string> ids(const id_table_t& table) {
        std::vector<std::string> out;
        for (uint64_t i = 0; i < table.count; ++i)
            out.emplace_back((const char*)table.records[i].data, table.records[i].used);
        return out;
    }
};
