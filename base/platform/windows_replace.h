#pragma once

#include <stdint.h>

// Replacing an existing file on Windows, step by step, decided without the
// OS so that every system can test it: the Windows layer takes each step
// and reports how it went. ReplaceFileW can fail after it has moved the
// old file away; what stands where after each error is as the Win32
// documentation of ReplaceFileW says (Wine never returns these errors, so
// the decisions follow the documentation and are tested here):
// - ERROR_UNABLE_TO_REMOVE_REPLACED: both files keep their names (the old
//   one is held open elsewhere): tried again.
// - ERROR_UNABLE_TO_MOVE_REPLACEMENT: with a backup name both files keep
//   their names, without one the old file is gone: either way moving the
//   replacement in leaves the new file.
// - ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: the old file stands under the
//   backup name, the replacement under its own: the replacement is moved
//   in, or else the old file is moved back.
// A failed replace thus leaves the old file or the new one at the name.

// The errors the steps look at, as winerror.h numbers them.
const uint32_t WINDOWS_ERROR_FILE_NOT_FOUND = 2;
const uint32_t WINDOWS_ERROR_ACCESS_DENIED = 5;
const uint32_t WINDOWS_ERROR_SHARING_VIOLATION = 32;
const uint32_t WINDOWS_ERROR_LOCK_VIOLATION = 33;
const uint32_t WINDOWS_ERROR_UNABLE_TO_REMOVE_REPLACED = 1175;
const uint32_t WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT = 1176;
const uint32_t WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 = 1177;

enum windows_replace_step_t {
    WINDOWS_STEP_REPLACE = 0,     // ReplaceFileW(target, replacement, backup)
    WINDOWS_STEP_MOVE_IN = 1,     // MoveFileExW(replacement, target, replace existing)
    WINDOWS_STEP_RESTORE = 2,     // MoveFileExW(backup, target, never over a file)
    WINDOWS_STEP_DROP_BACKUP = 3, // DeleteFileW(backup)
    WINDOWS_STEP_WAIT = 4,        // a moment's sleep, then the step in retry
    WINDOWS_STEP_REPLACED = 5,    // done: the new file stands at the target
    WINDOWS_STEP_FAILED = 6,      // done: error says why
};

struct windows_replace_t {
    windows_replace_step_t step;  // the step to take now
    windows_replace_step_t retry; // the step after a wait
    uint32_t error;               // the failure to report
    int backup_may_hold_old;      // the old file may stand under the backup name
    int failed;                   // the backup is dropped on the way out of a failure
};

// windows_replace_start sets the first step.
void windows_replace_start(windows_replace_t* replace);
// windows_replace_next sets the next step from how the step just taken
// went: ok, or the error it failed with; time_left is 0 once the few tens
// of milliseconds for a file held elsewhere have passed.
void windows_replace_next(windows_replace_t* replace, int ok, uint32_t error, int time_left);
