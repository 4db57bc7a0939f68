#pragma once

// A broken precondition is a programming error that no input can reach, so
// it stops the program on the spot in every build type: no message, no
// unwinding, nothing that needs a runtime library.
#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) __builtin_trap();                                                        \
    } while (0)
