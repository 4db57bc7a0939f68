#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/platform/windows_replace.h"

// The steps of a replace on Windows, taken against a model of the three
// names (the target, the replacement, the backup) in which each failure of
// ReplaceFileW leaves the files where the Win32 documentation says it does.
// Wine never returns these errors, so this is where they are tried.

namespace {

enum content_t { NONE = '_', OLD = 'o', NEW = 'n', OTHER = 'x' };

// What a failed ReplaceFileW did before it failed.
enum effect_t {
    KEPT,          // both files keep their names
    OLD_GONE,      // the old file no longer exists
    OLD_TO_BACKUP, // the old file stands under the backup name
    OTHER_ARRIVES, // (a failed move) another run's file lands at the target meanwhile
};

struct result_t {
    uint32_t error; // 0: the call succeeds
    effect_t effect;
};

struct model_t {
    content_t target = OLD, replacement = NEW, backup = NONE;
    std::vector<result_t> replaces, move_ins, restores; // the last one repeats
    size_t replace_at = 0, move_in_at = 0, restore_at = 0;

    static result_t next(const std::vector<result_t>& script, size_t* at) {
        if (script.empty()) return {0, KEPT};
        const result_t r = script[*at < script.size() ? *at : script.size() - 1];
        ++*at;
        return r;
    }
    void apply(effect_t effect) {
        if (effect == OLD_GONE) target = NONE;
        if (effect == OLD_TO_BACKUP) backup = target, target = NONE;
        if (effect == OTHER_ARRIVES) target = OTHER;
    }
    uint32_t replace() {
        if (target == NONE) return WINDOWS_ERROR_FILE_NOT_FOUND;
        const result_t r = next(replaces, &replace_at);
        if (r.error == 0) backup = target, target = replacement, replacement = NONE;
        apply(r.effect);
        return r.error;
    }
    uint32_t move_in() {
        const result_t r = next(move_ins, &move_in_at);
        if (r.error == 0) target = replacement, replacement = NONE;
        apply(r.effect);
        return r.error;
    }
    uint32_t restore() {
        if (backup == NONE) return WINDOWS_ERROR_FILE_NOT_FOUND;
        if (target != NONE) return 183; // ERROR_ALREADY_EXISTS: never moved over a file
        const result_t r = next(restores, &restore_at);
        if (r.error == 0) target = backup, backup = NONE;
        return r.error;
    }
};

TEST(WindowsReplace, AFailedReplaceLeavesTheOldFileOrTheNewOne) {
    const uint32_t HELD = WINDOWS_ERROR_SHARING_VIOLATION, DENIED = WINDOWS_ERROR_ACCESS_DENIED,
                   LOCKED = WINDOWS_ERROR_LOCK_VIOLATION,
                   BUSY = WINDOWS_ERROR_UNABLE_TO_REMOVE_REPLACED,
                   NOT_MOVED = WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT,
                   NOT_MOVED_2 = WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
    const uint32_t INVALID = 87; // ERROR_INVALID_PARAMETER: not a passing refusal
    const result_t OK = {0, KEPT};
    struct {
        const char* name;
        content_t target; // before
        std::vector<result_t> replaces, move_ins, restores;
        // The steps (R replace, M move in, B restore, D drop the backup, W
        // wait; then + replaced or - failed), a space, what stands at the
        // target and under the backup name afterwards (n new, o old, x
        // another run's, _ nothing).
        std::string outcome;
        uint32_t error; // when it failed
    } cases[] = {
        // clang-format off
        {"replaced", OLD, {OK}, {}, {}, "RD+ n_", 0},
        {"no old file: moved in", NONE, {}, {OK}, {}, "RM+ n_", 0},
        {"held a moment", OLD, {{HELD, KEPT}, {DENIED, KEPT}, OK}, {}, {}, "RWRWRD+ n_", 0},
        {"old file held open a moment", OLD, {{BUSY, KEPT}, OK}, {}, {}, "RWRD+ n_", 0},
        {"held too long", OLD, {{LOCKED, KEPT}}, {}, {}, "RWRWRWR- o_", LOCKED},
        {"refused for good", OLD, {{INVALID, KEPT}}, {}, {}, "R- o_", INVALID},
        {"not moved, both kept", OLD, {{NOT_MOVED, KEPT}}, {OK}, {}, "RMD+ n_", 0},
        {"not moved, old gone", OLD, {{NOT_MOVED, OLD_GONE}}, {OK}, {}, "RMD+ n_", 0},
        {"old under the backup name: moved in", OLD, {{NOT_MOVED_2, OLD_TO_BACKUP}}, {OK}, {},
         "RMD+ n_", 0},
        {"old under the backup name: put back", OLD, {{NOT_MOVED_2, OLD_TO_BACKUP}},
         {{INVALID, KEPT}}, {}, "RMB- o_", INVALID},
        {"old put back, then replaced", OLD, {{NOT_MOVED_2, OLD_TO_BACKUP}, OK}, {{DENIED, KEPT}},
         {}, "RMBWRD+ n_", 0},
        {"neither move at first", OLD, {{NOT_MOVED_2, OLD_TO_BACKUP}}, {{DENIED, KEPT}, OK},
         {{HELD, KEPT}}, "RMBWMD+ n_", 0},
        // The one way to end with no file at the target: both moves refused
        // until the time is up. The old file is kept under the backup name
        // then, never dropped.
        {"neither move, ever", OLD, {{NOT_MOVED_2, OLD_TO_BACKUP}}, {{DENIED, KEPT}},
         {{HELD, KEPT}}, "RMBWMBWMBWMB- _o", DENIED},
        {"old gone, the replacement held a moment", OLD, {{NOT_MOVED, OLD_GONE}},
         {{HELD, KEPT}, OK}, {}, "RMBWM+ n_", 0},
        {"another run's file arrives", OLD, {{NOT_MOVED_2, OLD_TO_BACKUP}},
         {{DENIED, OTHER_ARRIVES}}, {}, "RMBD- x_", DENIED},
        {"new file held a moment", NONE, {}, {{HELD, KEPT}, OK}, {}, "RMWRM+ n_", 0},
        {"new file refused for good", NONE, {}, {{INVALID, KEPT}}, {}, "RM- __", INVALID},
        // clang-format on
    };
    const int BUDGET = 3; // waits before the time is up
    for (auto& c : cases) {
        model_t model;
        model.target = c.target;
        model.replaces = c.replaces;
        model.move_ins = c.move_ins;
        model.restores = c.restores;
        windows_replace_t replace;
        windows_replace_start(&replace);
        std::string steps;
        int waits = 0;
        while (replace.step != WINDOWS_STEP_REPLACED && replace.step != WINDOWS_STEP_FAILED &&
               steps.size() < 64) {
            uint32_t error = 0;
            switch (replace.step) {
            case WINDOWS_STEP_REPLACE:
                steps += 'R', error = model.replace();
                break;
            case WINDOWS_STEP_MOVE_IN:
                steps += 'M', error = model.move_in();
                break;
            case WINDOWS_STEP_RESTORE:
                steps += 'B', error = model.restore();
                break;
            case WINDOWS_STEP_DROP_BACKUP:
                steps += 'D', model.backup = NONE;
                break;
            default:
                steps += 'W', ++waits;
                break;
            }
            windows_replace_next(&replace, error == 0, error, waits < BUDGET);
        }
        steps += replace.step == WINDOWS_STEP_REPLACED ? "+ "
                 : replace.step == WINDOWS_STEP_FAILED ? "- "
                                                       : "? ";
        EXPECT_EQ(steps + (char)model.target + (char)model.backup, c.outcome) << c.name;
        if (replace.step == WINDOWS_STEP_FAILED) {
            EXPECT_EQ(replace.error, c.error) << c.name;
        }
    }
}

} // namespace
