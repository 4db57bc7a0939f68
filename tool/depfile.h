#pragma once

#include "base/dir.h"

// depfile_write appends to the block a dependency file in the syntax
// compilers write for -MD -MP: the target, a colon, and every file the
// list holds and every folder its walks searched (an entry added to or
// removed from a folder changes the folder's time, so a build tool reruns
// the step); then an empty rule for each of them, so that one that is gone
// does not stop make. Paths are escaped as compilers escape them: a space
// as "\ ", '#' as "\#", '$' as "$$". Returns 1 when the whole text fitted.
int depfile_write(data_t* block, const data_t& target, const file_list_t& list);
