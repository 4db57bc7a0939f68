#pragma once

#include "base/data.h"
#include "base/threads.h"

// Walk flags; a flag is given when all its bits are set.
const uint32_t WALK_RECURSIVE = 1;   // descend into subdirectories
const uint32_t WALK_FILES = 2;       // list files that pass the extension filter
const uint32_t WALK_DIRECTORIES = 4; // list directories
const uint32_t WALK_DOT_ENTRIES = 8; // with WALK_DIRECTORIES, list "." and ".." too

const uint32_t DIR_LIST_ITEMS = 64;      // items per extension or exception list
const uint64_t DIR_PATH_CAPACITY = 1024; // bytes of the walk's path buffer
// The longest directory path searched: the buffer also holds the search
// pattern's separator, '*' and zero byte.
const uint64_t DIR_PATH_LIMIT = DIR_PATH_CAPACITY - 3;

// Directories a walk could not search.
struct dir_failures_t {
    uint32_t count;
    uint32_t error;       // the OS's reason for the first
    const uint8_t* first; // its path, NUL-terminated, in the list's arena; null when it did not fit
};

// Entries found by the walk: parallel arrays carved from an arena.
struct file_list_t {
    data_t* arena;   // where the paths are appended; null in a list that cannot be made
    uint8_t** paths; // NUL-terminated full paths; null where lost_paths counted one
    uint64_t* sizes;
    uint16_t* path_lengths;
    uint8_t* is_directory;
    uint64_t* write_times; // FILETIME: 100 ns since 1601-01-01 UTC
    uint32_t count;        // grows while a walk runs: other threads read it with acquire
    uint32_t capacity;
    // What the walk had to leave out, for the caller to report.
    uint32_t truncated;  // 1 once an entry was left out because the list was full
    uint32_t long_paths; // subdirectories not entered: their path did not fit
    uint32_t lost_paths; // entries whose path the arena could not hold
    // Subdirectories met in a recursive walk that could not be searched:
    // for a reason of their own (no access, removed meanwhile), or because
    // the system ran short of handles or memory however long we waited.
    dir_failures_t unsearchable;
    dir_failures_t starved;
    uint32_t search_error; // why the last directory dir_search could not search failed
    // Threads waiting for entries sleep on this while the walk runs; it is
    // woken for each entry. Null when nobody waits.
    threads_signal_t* signal;
    // The folders the walk searched, when asked for (file_list_track_folders):
    // NUL-terminated paths in the arena, in the order searched.
    uint8_t** folders;
    uint32_t folder_count, folder_capacity;
    uint32_t folders_lost; // searched, but beyond the capacity or the arena's room
};

enum dir_search_result_t {
    DIR_SEARCH_DONE = 0,
    DIR_SEARCH_NOT_FOUND = 1, // missing, not a directory, or no access
    DIR_SEARCH_TOO_LONG = 2,  // the directory text does not fit the path buffer
};

// What a walk lists and what it leaves out: items of the extension and
// exception lists (views into the caller's texts). An extension may be
// written with its dot (".c" is "c"). An exception without a separator
// leaves out every entry of that name; one with a separator ("build/",
// "./out/gen.c", an absolute path) leaves out the one entry at that path,
// read from the current directory when relative. On a system that takes
// names without regard to case, names compare that way.
struct dir_filter_t {
    data_t extensions[DIR_LIST_ITEMS];
    uint32_t extension_count; // 0: every file passes
    data_t exceptions[DIR_LIST_ITEMS];
    uint32_t exception_count;
    // A folder below the searched one that holds an entry of this name
    // (CMakeCache.txt: a build folder made inside the tree) is not searched;
    // empty for none. dir_would_list does not look for it, so it may say
    // listed of a file the walk leaves out, never the other way.
    data_t marker;
};

// file_list_make returns an empty list carved from the arena; the all-zero
// list when the arena cannot hold the arrays, the arena then left exactly
// as it was.
file_list_t file_list_make(data_t* arena, uint32_t capacity);

// file_list_track_folders makes the walks record every folder they search,
// up to capacity; 0 when the arena cannot hold the array.
int file_list_track_folders(file_list_t* list, uint32_t capacity);

// list_split stores the comma-separated items of the text, leading
// whitespace skipped and empty items dropped, up to maximum, and returns
// how many it stored.
uint32_t list_split(const data_t* text, data_t* items, uint32_t maximum);
// file_extension returns the bytes after the last '.', or the empty record
// when there is no dot.
data_t file_extension(const uint8_t* name, uint64_t length);

// dir_name_equal says whether two names are the same: byte for byte, or
// with ASCII letters taken without regard to case when fold_case is set.
int dir_name_equal(const data_t* a, const data_t* b, int fold_case);

// dir_file_passes returns whether a file of that bare name passes the
// filter: no exception names it and its extension is listed (or none is).
int dir_file_passes(const dir_filter_t* filter, const data_t* name);

// dir_would_list returns whether a search of the directory would list the
// file at path, whether it exists or not: its folder is the directory (or
// lies below it, searched recursively), no exception names a folder of its
// path, and its name passes the filter. Folders are compared as files, not
// as texts, so spelling and links do not matter; a path whose folder does
// not exist is not listed.
int dir_would_list(const data_t* directory, const data_t* path, const dir_filter_t* filter,
                   uint32_t flags);

// dir_same_entry returns whether the two paths name one entry: the same
// file when both exist, else the same name in the same folder.
int dir_same_entry(const data_t* a, const data_t* b);

// dir_is_separator returns whether the system takes the byte as a
// separator of a path's names.
int dir_is_separator(uint32_t c);

// dir_drive_length returns 2 for a path that starts with a drive ("C:") on
// Windows, else 0.
uint64_t dir_drive_length(const uint8_t* path, uint64_t length);

// dir_default returns the directory searched when none is given: "./"
// (".\\" on Windows).
data_t dir_default(void);

// dir_search appends to the list the entries of the directory (and of its
// subdirectories with WALK_RECURSIVE) that the filter and the flags let
// through, and says whether the directory could be searched (the reason
// is in the list's search_error when not).
dir_search_result_t dir_search(file_list_t* list, const data_t* directory,
                               const dir_filter_t* filter, uint32_t flags);
// dir_walk does the same for a directory whose path stands in a buffer
// with room after it (the view's size), and returns 0 when it could not be
// searched. Names are joined to the directory's path with the system's
// separator, unless the path ends with one already. The directory itself
// is searched even when an exception names its path.
int dir_walk(file_list_t* list, const data_t* directory, const dir_filter_t* filter,
             uint32_t flags);
