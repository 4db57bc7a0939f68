#pragma once

#include "base/dir.h"

// The dependency file, in the syntax compilers write for -MD -MP: the
// target, a colon, and every file the list holds and every folder its walks
// searched (an entry added to or removed from a folder changes the folder's
// time, so a build tool reruns the step); then an empty rule for each of
// them, so that one that is gone does not stop make. Paths are escaped as
// compilers escape them: a space as "\ ", '#' as "\#", '$' as "$$".

// Which build tools must read the file back: names only make misreads
// ('(', '[', '%', '=', ':', a leading '~') are fine for Ninja alone.
const uint32_t DEPFILE_FOR_MAKE = 1;
const uint32_t DEPFILE_FOR_NINJA = 2;

enum depfile_outcome_t {
    DEPFILE_WRITTEN = 0,
    DEPFILE_FULL = 1,     // the block ran out of room
    DEPFILE_BAD_NAME = 2, // a name make or Ninja would read back as another
};
struct depfile_result_t {
    depfile_outcome_t outcome;
    data_t name; // DEPFILE_BAD_NAME: the name (a view into the list or the target)
};

// depfile_write appends the dependency file for the target and the list to
// the block, the list's entry skipped left out (the output itself, which
// must not depend on itself; UINT32_MAX for none), and the extra path listed
// after them (the output, when the target is a stamp; empty for none). A
// name that GNU make or Ninja cannot read back exactly (a colon but a
// drive's, '%', '=', '[', '(', a shell or control byte, a leading '~', a
// trailing space, a backslash before a space, '#', '$' or the name's end)
// makes the whole file wrong, so it is not written around: the result
// names it.
depfile_result_t depfile_write(data_t* block, const data_t& target, const file_list_t& list,
                               uint32_t skipped, const data_t& extra, uint32_t readers);

// depfile_name_fits returns whether the readers (DEPFILE_FOR_MAKE,
// DEPFILE_FOR_NINJA) all read the name back exactly once it is escaped.
int depfile_name_fits(const uint8_t* name, uint64_t length, uint32_t readers);

// depfile_looks_ours returns whether the bytes have the shape of a
// dependency file this tool writes: the target line, its continuation
// lines, and the empty rules, nothing else.
int depfile_looks_ours(const uint8_t* text, uint64_t length);
