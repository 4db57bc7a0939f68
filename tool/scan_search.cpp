#include "tool/scan_search.h"

#include "tool/scan.h"

// SSE2 is part of every x86-64 processor; AVX2 is asked for when the
// scanner starts (scan_avx2.cpp holds its search).
#if defined(_MSC_VER)
#define SCAN_X86 1
#elif defined(__x86_64__)
#include <cpuid.h>
#define SCAN_X86 1
#endif
#ifdef SCAN_X86
#include <emmintrin.h>
#endif

namespace {

// A call that any test of the search refuses would never be found, and
// only the slow reference tests would notice; so every call must pass each
// of them, the bytes they look at all lying within its literal (the bytes
// after a call are anyone's). The prefix is checked as search_prefix_at
// reads it and as the vector pairs do.
constexpr int search_finds_prefix(const call_literal_t& call) {
    const char* text = call.text;
    return call.length > SEARCH_PREFIX_LENGTH && search_word_of(text) == SEARCH_PREFIX_WORD &&
           text[8] == '_' && text[0] == SEARCH_PAIR_HEAD &&
           text[SEARCH_PREFIX_LENGTH - 1] == SEARCH_PAIR_LAST;
}
constexpr int search_finds_third(const call_literal_t& call) {
    return call.length > SEARCH_THIRD_OFFSET && search_third_passes(call.text[SEARCH_THIRD_OFFSET]);
}
constexpr int search_finds_tail(const call_literal_t& call) {
    const uint64_t tail = SEARCH_PREFIX_LENGTH, next = SEARCH_PREFIX_LENGTH + 8;
    if (call.length < tail + 8) return 0;
    if (search_word_of(call.text + tail) != SEARCH_TAIL_TIMELINE)
        return search_tail_passes(search_word_of(call.text + tail));
    return call.length >= next + 8 && search_timeline_passes(search_word_of(call.text + next));
}
constexpr int search_finds_all(int (*finds)(const call_literal_t&)) {
    for (const call_literal_t& call : CALL_LITERALS)
        if (!finds(call)) return 0;
    return 1;
}
static_assert(search_finds_all(search_finds_prefix), "every call starts with the prefix");
static_assert(search_finds_all(search_finds_third), "every call passes the third-byte test");
static_assert(search_finds_all(search_finds_tail), "every call's tail is one the search knows");

// The widest search the processor offers: 0 not asked yet, then
// SCAN_WIDTH_16 (SSE2, every x86-64) or SCAN_WIDTH_32 (AVX2).
uint32_t search_width;

#ifdef SCAN_X86
// Whether the processor has AVX2 and the system saves the wide registers.
int avx2_usable() {
#if defined(_MSC_VER)
    int r[4];
    msvc_cpuid(r, 1, 0);
    const unsigned c = (unsigned)r[2];
    if (!(c & (1u << 27)) || !(c & (1u << 28))) return 0; // OSXSAVE, AVX
    if ((_xgetbv(0) & 6) != 6) return 0;
    msvc_cpuid(r, 7, 0);
    return ((unsigned)r[1] & (1u << 5)) != 0; // AVX2
#else
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX)) return 0;
    unsigned low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    if ((low & 6) != 6) return 0;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2);
#endif
}
#endif

void settle_width() {
    search_width = SCAN_WIDTH_16;
#ifdef SCAN_X86
    if (avx2_usable()) search_width = SCAN_WIDTH_32;
#endif
}

} // namespace

// Many positions at a time test the prefix's first and last bytes (the
// pairs), which few places in source text share, and the third byte; only
// those are looked at closer.
const uint8_t* search_next(const uint8_t* p, const uint8_t* end, const uint8_t* readable_end) {
    if (end - p < (int64_t)SEARCH_PREFIX_LENGTH) return end;
    const uint8_t* last = end - SEARCH_PREFIX_LENGTH; // the last position a prefix can start at
    if (search_width == 0) settle_width();
#ifdef SCAN_X86
    if (search_width == SCAN_WIDTH_32) {
        const uint8_t* found = search_avx2(&p, last, readable_end);
        if (found) return found;
    }
    // Blocks of 16 start positions whose prefix (position + 8) still lies
    // before end and whose third byte can be read.
    for (; last - p >= 15 && readable_end - p >= (int64_t)(SEARCH_THIRD_OFFSET + 16); p += 16) {
        const __m128i heads = _mm_loadu_si128((const __m128i*)p);
        const __m128i tails = _mm_loadu_si128((const __m128i*)(p + SEARCH_PREFIX_LENGTH - 1));
        const __m128i thirds = _mm_loadu_si128((const __m128i*)(p + SEARCH_THIRD_OFFSET));
        const __m128i l_or_n = _mm_cmpeq_epi8(_mm_or_si128(thirds, _mm_set1_epi8(SEARCH_THIRD_BIT)),
                                              _mm_set1_epi8(SEARCH_THIRD_NEAR));
        const __m128i third =
            _mm_or_si128(l_or_n, _mm_cmpeq_epi8(thirds, _mm_set1_epi8(SEARCH_THIRD_OTHER)));
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(heads, _mm_set1_epi8(SEARCH_PAIR_HEAD)),
                                           _mm_cmpeq_epi8(tails, _mm_set1_epi8(SEARCH_PAIR_LAST)));
        uint64_t mask = (uint32_t)_mm_movemask_epi8(_mm_and_si128(both, third));
        for (; mask != 0; mask &= mask - 1) {
            const uint8_t* candidate = p + search_lowest_bit(mask);
            if (search_candidate_at(candidate, readable_end)) return candidate;
        }
    }
#endif
    for (; p <= last; ++p)
        if (*p == SEARCH_PAIR_HEAD && search_candidate_at(p, readable_end)) return p;
    return end;
}

uint32_t scan_search_width(uint32_t width) {
    if (search_width == 0) settle_width();
    if (width == SCAN_WIDTH_16) search_width = SCAN_WIDTH_16;
#ifdef SCAN_X86
    if (width == SCAN_WIDTH_32 && avx2_usable()) search_width = SCAN_WIDTH_32;
#endif
    return search_width;
}
