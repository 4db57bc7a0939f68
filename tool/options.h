#pragma once

#include "base/args.h"
#include "base/dir.h"
#include "base/file.h"
#include "tool/guard.h"

// The command line: the usage texts, the option table, and reading and
// checking the options before any search.

// What the command line asks for, defaults applied, lists split and checked.
struct options_t {
    data_t directories[ARGS_CAPACITY];
    uint32_t directory_count;
    dir_filter_t filter;
    data_t output;
    int to_standard_output;   // "-o -"
    data_t depfile;           // empty for none
    data_t depfile_target;    // what the dependency file says it is for
    uint32_t depfile_readers; // DEPFILE_FOR_MAKE, DEPFILE_FOR_NINJA
    // The file at the output path, when output_exists: a source it must
    // not be.
    file_id_t output_file;
    int output_exists;
    uint32_t flags;
    int silent, check;
    uint32_t max_files;
    uint64_t max_ids;
    int list;         // --list: say the ids and where they are, write nothing
    uint32_t unknown; // arguments no option takes, and empty values
};
// options_read fills the argument table and reads the options into *o,
// with every check that needs no search: arguments no option takes, empty
// values, numbers, lists, path lengths, the dependency file. -h, --help
// and --version are answered here.
enum options_outcome_t {
    OPTIONS_RUN = 0,      // the run goes on with *o
    OPTIONS_ANSWERED = 1, // a text asked for was printed: exit 0
    OPTIONS_FAILED = 2,   // an error was said: exit 1
};
options_outcome_t options_read(int32_t count, char** values, options_t* o);

// options_strict returns whether --strict stands on the command line (read
// when a warning is made: every warning is then an error).
int options_strict(void);

// options_search returns what the run searches, for the checks of what it
// may replace.
guard_search_t options_search(const options_t& o);
