// The scanner's search 32 bytes at a time, built for AVX2 (-mavx2,
// /arch:AVX2) and run only where the processor has it.
#include "tool/scan_search.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>

// GNU-style compilers build the AVX2 functions alone for AVX2; an
// MSVC-style one offers the intrinsics only with the unit built so.
#if defined(__GNUC__) && !defined(_MSC_VER)
#define SEARCH_AVX2 __attribute__((target("avx2")))
#else
#define SEARCH_AVX2
#endif

namespace {

// The positions of 64 that hold 'p' with '_' eight bytes later: two loads
// and two compares per 32 bytes. Few places in source text have both, so
// plain code goes through at about the speed of reading it.
SEARCH_AVX2 inline __m256i pairs_32(const uint8_t* q) {
    const __m256i heads = _mm256_loadu_si256((const __m256i*)q);
    const __m256i tails = _mm256_loadu_si256((const __m256i*)(q + SEARCH_PREFIX_LENGTH - 1));
    return _mm256_and_si256(_mm256_cmpeq_epi8(heads, _mm256_set1_epi8(SEARCH_PAIR_HEAD)),
                            _mm256_cmpeq_epi8(tails, _mm256_set1_epi8(SEARCH_PAIR_LAST)));
}

// Those of the pairs whose seventh byte after the prefix is 'l', 'n' or 's'
// ('l' | 2 is 'n'): code that mentions the profiler everywhere has pairs
// every hundred bytes, and this keeps most of them from the slower test.
// The pairs themselves are added to seen.
SEARCH_AVX2 inline uint32_t mask_32(const uint8_t* q, __m256i* seen) {
    const __m256i thirds = _mm256_loadu_si256((const __m256i*)(q + SEARCH_THIRD_OFFSET));
    const __m256i l_or_n =
        _mm256_cmpeq_epi8(_mm256_or_si256(thirds, _mm256_set1_epi8(SEARCH_THIRD_BIT)),
                          _mm256_set1_epi8(SEARCH_THIRD_NEAR));
    const __m256i third =
        _mm256_or_si256(l_or_n, _mm256_cmpeq_epi8(thirds, _mm256_set1_epi8(SEARCH_THIRD_OTHER)));
    const __m256i pairs = pairs_32(q);
    *seen = _mm256_or_si256(*seen, pairs);
    return (uint32_t)_mm256_movemask_epi8(_mm256_and_si256(pairs, third));
}

// Where pairs are dense, the branch on them alone would be taken at
// random, and a mistaken branch costs more than the third byte does: after
// a pair, the three-byte test runs for stretches of this many bytes, until
// one stretch holds no pair at all.
const int64_t DENSE_STRETCH = 512;

} // namespace

SEARCH_AVX2 const uint8_t* search_avx2(const uint8_t** p, const uint8_t* last,
                                       const uint8_t* readable_end) {
    const uint8_t* q = *p;
    // Calls come in clusters: right after one, the three-byte test first.
    const uint8_t* stretch_end = q + 64;
    for (;;) {
        // Three bytes, 64 positions per branch, for as long as pairs come.
        __m256i seen = _mm256_setzero_si256();
        for (; last - q >= 63 && readable_end - q >= (int64_t)(SEARCH_THIRD_OFFSET + 64); q += 64) {
            if (q >= stretch_end) {
                if (_mm256_testz_si256(seen, seen)) break;
                seen = _mm256_setzero_si256();
                stretch_end = q + DENSE_STRETCH;
            }
            uint64_t mask = (uint64_t)mask_32(q, &seen) | (uint64_t)mask_32(q + 32, &seen) << 32;
            for (; mask != 0; mask &= mask - 1) {
                const uint8_t* candidate = q + search_lowest_bit(mask);
                if (search_candidate_at(candidate, readable_end)) return candidate;
            }
        }
        // Pairs alone, 128 positions per branch, until there is one.
        while (last - q >= 127 && readable_end - q >= (int64_t)(SEARCH_THIRD_OFFSET + 128)) {
            const __m256i any =
                _mm256_or_si256(_mm256_or_si256(pairs_32(q), pairs_32(q + 32)),
                                _mm256_or_si256(pairs_32(q + 64), pairs_32(q + 96)));
            if (!_mm256_testz_si256(any, any)) break;
            q += 128;
        }
        // Fewer than 64 positions left: the caller's tail loop.
        if (last - q < 63 || readable_end - q < (int64_t)(SEARCH_THIRD_OFFSET + 64)) break;
        stretch_end = q + DENSE_STRETCH;
    }
    *p = q;
    return nullptr;
}

#endif
