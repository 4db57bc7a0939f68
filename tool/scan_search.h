#pragma once

// The search for where a call may start: the tests the scanner and its
// vector searches share, the search itself (scan_search.cpp) and its AVX2
// part (scan_avx2.cpp, a unit of its own, built for AVX2). The inline tests
// have internal linkage (static), so that the unit built for AVX2 and the
// others each keep their own copy: no AVX2 code can stand in for a function
// the processor may lack.

#include <stdint.h>

#include "base/intrinsics.h"

// Every call literal starts with the prefix "profiler_", and nowhere else
// holds it, so one search for the prefix finds every candidate in order.
static const uint64_t SEARCH_PREFIX_LENGTH = 9;

// A third byte the vector searches test: the seventh after the prefix is
// 'l' ("initiaLize("), 'n' ("timeliNe_...") or 's' ("event_Start(",
// "collapSable_start(") in every call, and something else in most near
// misses ("event_End", "enableD", "flags |"). One compare takes both 'l'
// and 'n', which differ in one bit only: the byte with that bit set is
// SEARCH_THIRD_NEAR ('l' | 2 is 'n'); a second compare takes the other.
static const uint64_t SEARCH_THIRD_OFFSET = SEARCH_PREFIX_LENGTH + 6;
static const char SEARCH_THIRD_BIT = 2;
static const char SEARCH_THIRD_NEAR = 'n';
static const char SEARCH_THIRD_OTHER = 's';

// Whether a byte at SEARCH_THIRD_OFFSET passes the vector searches' test.
static constexpr int search_third_passes(char c) {
    return (char)(c | SEARCH_THIRD_BIT) == SEARCH_THIRD_NEAR || c == SEARCH_THIRD_OTHER;
}

static inline uint64_t search_word(const uint8_t* p) {
#if defined(_MSC_VER) && !defined(__clang__)
    return *(const uint64_t __unaligned*)p; // x64 loads any address
#else
    uint64_t word;
    __builtin_memcpy(&word, p, 8);
    return word;
#endif
}

// The first eight bytes of a text, as search_word reads them.
static constexpr uint64_t search_word_of(const char* s) {
    uint64_t w = 0;
    for (int i = 7; i >= 0; --i)
        w = w << 8 | (uint8_t)s[i];
    return w;
}

// The index of the lowest set bit of a mask that is not 0.
static inline uint32_t search_lowest_bit(uint64_t mask) {
#if defined(_MSC_VER)
    unsigned long index;
    _BitScanForward64(&index, mask);
    return (uint32_t)index;
#else
    return (uint32_t)__builtin_ctzll(mask);
#endif
}

// The words the tests below compare with, made when compiling.
static constexpr uint64_t SEARCH_PREFIX_WORD = search_word_of("profiler");
static constexpr uint64_t SEARCH_TAIL_INITIALIZE = search_word_of("initiali");
static constexpr uint64_t SEARCH_TAIL_TIMELINE = search_word_of("timeline");
static constexpr uint64_t SEARCH_TAIL_EVENT = search_word_of("event_st");
static constexpr uint64_t SEARCH_TAIL_COLLAPSABLE = search_word_of("collapsa");
static constexpr uint64_t SEARCH_TIMELINE_INITIALIZE = search_word_of("_initial");
static constexpr uint64_t SEARCH_TIMELINE_DECLARATION = search_word_of("_id_decl");
static constexpr uint64_t SEARCH_TIMELINE_SET_ID = search_word_of("_set_id(");
static constexpr uint64_t SEARCH_TIMELINE_SET_ID_FOR = search_word_of("_set_id_");

// The prefix's first and last bytes, eight apart: the pairs the vector
// searches look for first.
static const char SEARCH_PAIR_HEAD = 'p';
static const char SEARCH_PAIR_LAST = '_';

// Whether the nine bytes at p are the prefix: one 8-byte comparison and one
// byte, without a call.
static inline int search_prefix_at(const uint8_t* p) {
    return search_word(p) == SEARCH_PREFIX_WORD && p[8] == '_';
}

// Whether the eight bytes after the prefix are those of a call: a
// timeline's "initialize(", an event's "event_start(" or
// "collapsable_start(", or "timeline", which search_timeline_passes
// decides.
static constexpr int search_tail_passes(uint64_t tail) {
    return tail == SEARCH_TAIL_INITIALIZE || tail == SEARCH_TAIL_EVENT ||
           tail == SEARCH_TAIL_COLLAPSABLE;
}
// Whether the eight bytes after "profiler_timeline" are those of one of
// the four timeline calls, where they differ from "profiler_timeline_end".
static constexpr int search_timeline_passes(uint64_t next) {
    return next == SEARCH_TIMELINE_INITIALIZE || next == SEARCH_TIMELINE_DECLARATION ||
           next == SEARCH_TIMELINE_SET_ID || next == SEARCH_TIMELINE_SET_ID_FOR;
}

// Bytes a candidate needs for search_candidate_at's tests: the prefix and
// 16 more.
static const uint64_t SEARCH_CANDIDATE_BYTES = SEARCH_PREFIX_LENGTH + 16;

// Whether a call literal could start at p: the prefix, then eight bytes
// that some literal has after it, and for "timeline" the eight after
// those. So the near misses real code is full of ("profiler_event_end",
// "p->profiler_enabled", "profiler.h") cost a load or two and a few
// compares. Near the end, with fewer than SEARCH_CANDIDATE_BYTES readable,
// the prefix alone (the call's own match decides).
static inline int search_candidate_at(const uint8_t* p, const uint8_t* readable_end) {
    if (!search_prefix_at(p)) return 0;
    if (readable_end - p < (int64_t)SEARCH_CANDIDATE_BYTES) return 1;
    const uint64_t tail = search_word(p + SEARCH_PREFIX_LENGTH);
    if (tail != SEARCH_TAIL_TIMELINE) return search_tail_passes(tail);
    return search_timeline_passes(search_word(p + SEARCH_PREFIX_LENGTH + 8));
}

// search_next returns the next position at or after p, and before end,
// where a call literal may start (search_candidate_at holds), or end. It
// reads no further than readable_end.
const uint8_t* search_next(const uint8_t* p, const uint8_t* end, const uint8_t* readable_end);

// scan_search_width: the search runs 32 bytes at a time where the
// processor can (AVX2), else 16. Tests and benchmarks choose; it returns
// the width in force afterwards (a width the processor lacks is not taken;
// any other value only asks). The width is settled on first use; threads
// that scan at once must find it settled (ask before they start).
const uint32_t SCAN_WIDTH_16 = 16;
const uint32_t SCAN_WIDTH_32 = 32;
uint32_t scan_search_width(uint32_t width);

// The AVX2 search (scan_avx2.cpp, built for AVX2): the first position at or
// after p, and at most last, where search_candidate_at holds, reading no
// further than readable_end; null with *p moved to the first position it
// did not test, when it found none.
const uint8_t* search_avx2(const uint8_t** p, const uint8_t* last, const uint8_t* readable_end);
