#pragma once

// The MSVC intrinsics the code uses where the compiler is MSVC-style (cl,
// clang-cl); GNU-style compilers use their builtins instead. clang-cl
// knows these as builtins once declared, and its <intrin.h> does not go
// with the mingw-w64 headers it is given on Linux, so they are declared
// here.
#if defined(_MSC_VER) && defined(__clang__)
extern "C" {
unsigned char _BitScanForward64(unsigned long* index, unsigned long long mask);
long _InterlockedExchangeAdd(long volatile* value, long n);
char _InterlockedExchange8(char volatile* value, char to);
void _ReadWriteBarrier(void);
void _mm_mfence(void);
void __ud2(void);
unsigned long long _xgetbv(unsigned int index);
}
// __cpuidex is no builtin but a function of <intrin.h>: the same here.
inline void msvc_cpuid(int registers[4], int leaf, int subleaf) {
    __asm__("cpuid"
            : "=a"(registers[0]), "=b"(registers[1]), "=c"(registers[2]), "=d"(registers[3])
            : "a"(leaf), "c"(subleaf));
}
#elif defined(_MSC_VER)
#include <intrin.h>
inline void msvc_cpuid(int registers[4], int leaf, int subleaf) {
    __cpuidex(registers, leaf, subleaf);
}
#endif
