#include "base/platform/windows_replace.h"

namespace {

const uint32_t WINDOWS_ERROR_FILE_EXISTS = 80;
const uint32_t WINDOWS_ERROR_ALREADY_EXISTS = 183;

// Refusals that end once another program lets go of a file: an indexer or a
// virus scanner holding it without sharing (access denied, for a file about
// to be deleted), or the old file held open while it was to be removed.
int held_elsewhere(uint32_t error) {
    return error == WINDOWS_ERROR_SHARING_VIOLATION || error == WINDOWS_ERROR_LOCK_VIOLATION ||
           error == WINDOWS_ERROR_ACCESS_DENIED || error == WINDOWS_ERROR_UNABLE_TO_REMOVE_REPLACED;
}

void fail(windows_replace_t* replace, uint32_t error) {
    replace->step = WINDOWS_STEP_FAILED;
    replace->error = error;
}

void wait_then(windows_replace_t* replace, windows_replace_step_t retry) {
    replace->step = WINDOWS_STEP_WAIT;
    replace->retry = retry;
}

} // namespace

void windows_replace_start(windows_replace_t* replace) {
    *replace = windows_replace_t{WINDOWS_STEP_REPLACE, WINDOWS_STEP_REPLACE, 0, 0, 0};
}

void windows_replace_next(windows_replace_t* replace, int ok, uint32_t error, int time_left) {
    switch (replace->step) {
    case WINDOWS_STEP_REPLACE:
        if (ok) {
            // The old file went through the backup name; it goes now.
            replace->backup_may_hold_old = 1;
            replace->step = WINDOWS_STEP_DROP_BACKUP;
        } else if (error == WINDOWS_ERROR_FILE_NOT_FOUND) {
            replace->step = WINDOWS_STEP_MOVE_IN; // no old file (any more): moved into place
        } else if (error == WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                   error == WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            replace->backup_may_hold_old = 1;
            replace->step = WINDOWS_STEP_MOVE_IN;
        } else if (held_elsewhere(error) && time_left) {
            wait_then(replace, WINDOWS_STEP_REPLACE);
        } else {
            fail(replace, error);
        }
        break;
    case WINDOWS_STEP_MOVE_IN:
        if (ok) {
            replace->step =
                replace->backup_may_hold_old ? WINDOWS_STEP_DROP_BACKUP : WINDOWS_STEP_REPLACED;
        } else {
            replace->error = error;
            if (replace->backup_may_hold_old)
                replace->step = WINDOWS_STEP_RESTORE; // the old file back, or none stands
            else if (held_elsewhere(error) && time_left)
                wait_then(replace, WINDOWS_STEP_REPLACE);
            else
                fail(replace, error);
        }
        break;
    case WINDOWS_STEP_RESTORE:
        if (ok) {
            // The old file stands again: the replace may start over.
            replace->backup_may_hold_old = 0;
            if (held_elsewhere(replace->error) && time_left)
                wait_then(replace, WINDOWS_STEP_REPLACE);
            else
                fail(replace, replace->error);
        } else if (error == WINDOWS_ERROR_FILE_EXISTS || error == WINDOWS_ERROR_ALREADY_EXISTS) {
            // A file stands at the target (another run's): the old one goes.
            replace->failed = 1;
            replace->step = WINDOWS_STEP_DROP_BACKUP;
        } else {
            // Nothing under the backup name means the old file is gone,
            // and the replacement is the one header left: it is moved in
            // again, or the old one back, while there is time. After that
            // the backup is kept, the last copy of the old file.
            if (error == WINDOWS_ERROR_FILE_NOT_FOUND) replace->backup_may_hold_old = 0;
            if (time_left)
                wait_then(replace, WINDOWS_STEP_MOVE_IN);
            else
                fail(replace, replace->error);
        }
        break;
    case WINDOWS_STEP_DROP_BACKUP:
        // A backup that cannot be dropped is a stale temporary file, which
        // a later run removes; the replace itself is done.
        replace->step = replace->failed ? WINDOWS_STEP_FAILED : WINDOWS_STEP_REPLACED;
        break;
    case WINDOWS_STEP_WAIT:
        replace->step = replace->retry;
        break;
    case WINDOWS_STEP_REPLACED:
    case WINDOWS_STEP_FAILED:
        break;
    }
}
