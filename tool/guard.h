#pragma once

#include "base/dir.h"

// Which files a run may replace: its output and its dependency file, and
// never a source. A file the search lists, read or not, under any name a
// link gives it, is somebody's source unless it is missing, empty or one
// of ours; a file with several names may be a source under another one.

// What the run searches.
struct guard_search_t {
    const data_t* directories;
    uint32_t directory_count;
    const dir_filter_t* filter;
    uint32_t flags;
};

// guard_output returns 1 when the output may be replaced; else it says why
// and returns 0. scanned: the scan met the output among the files it read.
int guard_output(const guard_search_t& search, const data_t& output, int scanned);

// guard_depfile returns 1 when the dependency file may be replaced; else
// it says why and returns 0. It is never the output, a file the search
// would list, or an existing file other than an empty one or a dependency
// file of ours.
int guard_depfile(const guard_search_t& search, const data_t& depfile, const data_t& output);
