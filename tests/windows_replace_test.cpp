#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/platform/windows_replace.h"

// The steps of a replace on Windows, taken against a model of the three
// names (the target, the replacement, the backup) in which each failure of
// ReplaceFileW leaves the files where the Win32 documentation says it does.
// Wine never returns these errors, so this is where they are tried.

namespace {

// A model of the three names (the target, the replacement, the backup):
// 'o' old, 'n' new, 'x' another run's file, '_' nothing. Each step's
// results come from a script, one letter a call, the last one repeating:
// '.' success; failures that leave the files as they were: 'h' sharing
// violation, 'd' access denied, 'l' lock violation, 'b' the old file held
// open (unable to remove replaced), 'm' replacement not moved, both kept,
// 'i' invalid parameter (no passing refusal); failures that moved files
// first, as documented: 'g' replacement not moved and the old file gone,
// '2' the old file under the backup name; 'x' (a move) another run's file
// lands at the target meanwhile.
struct model_t {
    char target, replacement = 'n', backup = '_';
    const char* scripts[3]; // ReplaceFileW, the move in, the restore
    size_t at[3] = {0, 0, 0};

    uint32_t call(int which) {
        const size_t n = strlen(scripts[which]);
        return n == 0 ? '.' : scripts[which][std::min(at[which]++, n - 1)];
    }
    static uint32_t error_of(char c) {
        const char letters[] = "hdxlbmg2i";
        const uint32_t errors[] = {WINDOWS_ERROR_SHARING_VIOLATION,
                                   WINDOWS_ERROR_ACCESS_DENIED,
                                   WINDOWS_ERROR_ACCESS_DENIED,
                                   WINDOWS_ERROR_LOCK_VIOLATION,
                                   WINDOWS_ERROR_UNABLE_TO_REMOVE_REPLACED,
                                   WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT,
                                   WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT,
                                   WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT_2,
                                   87};
        const char* at = c == '.' ? nullptr : strchr(letters, c);
        return at ? errors[at - letters] : 0;
    }
    uint32_t step(windows_replace_step_t step) {
        if (step == WINDOWS_STEP_DROP_BACKUP) backup = '_';
        if (step == WINDOWS_STEP_DROP_BACKUP || step == WINDOWS_STEP_WAIT) return 0;
        if (step == WINDOWS_STEP_REPLACE && target == '_') return WINDOWS_ERROR_FILE_NOT_FOUND;
        if (step == WINDOWS_STEP_RESTORE && backup == '_') return WINDOWS_ERROR_FILE_NOT_FOUND;
        if (step == WINDOWS_STEP_RESTORE && target != '_') return 183; // never over a file
        const char c = call(step);
        if (c == '.' && step == WINDOWS_STEP_REPLACE) backup = target;
        if (c == '.' && step == WINDOWS_STEP_RESTORE) target = backup, backup = '_';
        if (c == '.' && step != WINDOWS_STEP_RESTORE) target = replacement, replacement = '_';
        if (c == 'g') target = '_';
        if (c == '2') backup = target, target = '_';
        if (c == 'x') target = 'x';
        return error_of(c);
    }
};

TEST(WindowsReplace, AFailedReplaceLeavesTheOldFileOrTheNewOne) {
    struct {
        char target;            // before
        const char* scripts[3]; // ReplaceFileW, the move in, the restore
        // The steps (R replace, M move in, B restore, D drop the backup, W
        // wait; then + replaced or - failed), what stands at the target and
        // under the backup name afterwards, the error said on failure.
        std::string outcome;
    } cases[] = {
        {'o', {"", "", ""}, "RD+ n_"},
        {'_', {"", "", ""}, "RM+ n_"},          // no old file: moved in
        {'o', {"hd.", "", ""}, "RWRWRD+ n_"},   // held a moment
        {'o', {"b.", "", ""}, "RWRD+ n_"},      // the old file held open a moment
        {'o', {"l", "", ""}, "RWRWRWR- o_ 33"}, // held too long
        {'o', {"i", "", ""}, "R- o_ 87"},
        {'o', {"m", "", ""}, "RMD+ n_"},
        {'o', {"g", "", ""}, "RMD+ n_"},
        {'o', {"2", "", ""}, "RMD+ n_"},
        {'o', {"2", "i", ""}, "RMB- o_ 87"},   // the old file put back
        {'o', {"2.", "d", ""}, "RMBWRD+ n_"},  // put back, then replaced
        {'o', {"2", "d.", "h"}, "RMBWMD+ n_"}, // neither move at first
        // The one way to end with nothing at the target: both moves refused
        // until the time is up. The old file stays under the backup name.
        {'o', {"2", "d", "h"}, "RMBWMBWMBWMB- _o 5"},
        {'o', {"g", "h.", ""}, "RMBWM+ n_"}, // old gone, the move held a moment
        {'o', {"2", "x", ""}, "RMBD- x_ 5"}, // another run's file arrives
        {'_', {"", "h.", ""}, "RMWRM+ n_"},
        {'_', {"", "i", ""}, "RM- __ 87"},
        {'_', {"", "h", ""}, "RMWRMWRMWRM- __ 32"},
    };
    const int BUDGET = 3; // waits before the time is up
    for (auto& c : cases) {
        model_t model{c.target, 'n', '_', {c.scripts[0], c.scripts[1], c.scripts[2]}};
        windows_replace_t replace;
        windows_replace_start(&replace);
        std::string steps;
        int waits = 0;
        while (replace.step < WINDOWS_STEP_REPLACED && steps.size() < 64) {
            steps += "RMBDW"[replace.step];
            waits += replace.step == WINDOWS_STEP_WAIT;
            const uint32_t error = model.step(replace.step);
            windows_replace_next(&replace, error == 0, error, waits < BUDGET);
        }
        steps += replace.step == WINDOWS_STEP_REPLACED ? "+ " : "- ";
        steps += std::string{model.target, model.backup};
        if (replace.step == WINDOWS_STEP_FAILED) steps += " " + std::to_string(replace.error);
        EXPECT_EQ(steps, c.outcome) << c.target << c.scripts[0] << "/" << c.scripts[1];
    }
}

} // namespace
