#pragma once

// A broken precondition is a programming error that no input can reach, so
// it stops the program on the spot in every build type: no message, no
// unwinding, nothing that needs a runtime library.
#include "base/intrinsics.h"

#if defined(_MSC_VER)
#define CHECK_TRAP() __ud2()
#else
#define CHECK_TRAP() __builtin_trap()
#endif
#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) CHECK_TRAP();                                                            \
    } while (0)
