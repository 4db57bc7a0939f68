#pragma once

#include <stdint.h>

// Windows paths as the Win32 documentation ("Naming Files, Paths, and
// Namespaces") reads them, worked out without the OS so that every system
// can test them: the Windows layer asks the OS only for the directory a
// path is relative to. Texts are zero-terminated UTF-16.

// windows_path_anchor returns what a path is relative to.
enum windows_anchor_t {
    WINDOWS_FULL = 0,     // "C:\x", "\\server\share\x", "\\?\...", "\\.\device"
    WINDOWS_RELATIVE = 1, // "x": the current directory
    WINDOWS_ROOTED = 2,   // "\x": the root of the current drive
    WINDOWS_DRIVE = 3,    // "D:x": drive D's current directory
};
windows_anchor_t windows_path_anchor(const uint16_t* path);

// windows_path_full writes the full path of path into out and returns its
// length, or -1 when it does not fit. base is the full path of what the
// anchor names (unused for a full path). Separators become '\', "." and
// ".." are resolved, and every name is kept exactly as written, where the
// OS's own clean-up strips a trailing dot or space.
int32_t windows_path_full(const uint16_t* path, const uint16_t* base, uint16_t* out,
                          uint32_t capacity);

// Below this many units the classic calls take a full path as it is (the
// limit for a directory, which must leave room for an 8.3 name).
const uint32_t WINDOWS_CLASSIC_LIMIT = 260 - 12;

// windows_path_needs_extended returns whether the classic calls would
// misread the full path: it is too long for them, or a name in it ends in
// a dot or a space, which they would strip.
int windows_path_needs_extended(const uint16_t* full, uint32_t length);

// windows_path_extended writes the "\\?\" form of a full path ("\\?\UNC\"
// for "\\server\share"; a device path or one in that form already as it
// is) and returns its length, or -1 when it does not fit.
int32_t windows_path_extended(const uint16_t* full, uint16_t* out, uint32_t capacity);
