#include "tool/scan.h"

#include "base/chars.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#define SCAN_AVX2 1
#endif

namespace {

// Every call literal starts with this prefix, and nowhere else holds it, so
// one search for the prefix finds every candidate in order.
const char PREFIX[] = "profiler_";
const uint64_t PREFIX_LENGTH = 9;

// The call literals, in the table's order: calls 0 to 4 name timelines, 5
// and 6 events. Each starts with the prefix and ends with "(".
struct call_t {
    const char* literal;
    uint64_t length;
};
// clang-format off
const call_t CALLS[CALL_LITERAL_COUNT] = {
    {"profiler_initialize(", 20},
    {"profiler_timeline_initialize(", 29},
    {"profiler_timeline_id_declaration(", 33},
    {"profiler_timeline_set_id(", 25},
    {"profiler_timeline_set_id_for_index(", 35},
    {"profiler_event_start(", 21},
    {"profiler_collapsable_start(", 27},
};
// clang-format on

// Whether the nine bytes at p are the prefix: one 8-byte comparison and one
// byte, without a call.
int prefix_at(const uint8_t* p) {
    uint64_t head, expected;
    __builtin_memcpy(&head, p, 8);
    __builtin_memcpy(&expected, PREFIX, 8);
    return head == expected && p[8] == '_';
}

// The first eight bytes after the prefix of every call literal: timelines
// ("initialize(", "timeline_..."), events ("event_start(",
// "collapsable_start("). A candidate whose next eight bytes are none of
// these is no call, so the near misses real code is full of
// ("profiler_event_end", "p->profiler_enabled", "profiler.h") cost one load
// and four compares.
constexpr uint64_t word_of(const char* s) {
    uint64_t w = 0;
    for (int i = 7; i >= 0; --i)
        w = w << 8 | (uint8_t)s[i];
    return w;
}
const uint64_t TAIL_INITIALIZE = word_of("initiali");
const uint64_t TAIL_TIMELINE = word_of("timeline");
const uint64_t TAIL_EVENT = word_of("event_st");
const uint64_t TAIL_COLLAPSABLE = word_of("collapsa");
// The four timeline calls differ in the next eight bytes, where
// "profiler_timeline_end" does too.
const uint64_t TIMELINE_INITIALIZE = word_of("_initial");
const uint64_t TIMELINE_DECLARATION = word_of("_id_decl");
const uint64_t TIMELINE_SET_ID = word_of("_set_id(");
const uint64_t TIMELINE_SET_ID_FOR = word_of("_set_id_");
// Bytes a candidate needs for those tests: the prefix and 16 more.
const uint64_t CANDIDATE_BYTES = PREFIX_LENGTH + 16;

// Whether a call literal could start at p: the prefix, and a tail that some
// literal has. Near the end, with fewer than CANDIDATE_BYTES readable, the
// prefix alone (match_call decides).
inline int candidate_at(const uint8_t* p, const uint8_t* readable_end) {
    if (!prefix_at(p)) return 0;
    if (readable_end - p < (int64_t)CANDIDATE_BYTES) return 1;
    uint64_t tail;
    __builtin_memcpy(&tail, p + PREFIX_LENGTH, 8);
    if (tail != TAIL_TIMELINE)
        return tail == TAIL_INITIALIZE || tail == TAIL_EVENT || tail == TAIL_COLLAPSABLE;
    __builtin_memcpy(&tail, p + PREFIX_LENGTH + 8, 8);
    return tail == TIMELINE_INITIALIZE || tail == TIMELINE_DECLARATION || tail == TIMELINE_SET_ID ||
           tail == TIMELINE_SET_ID_FOR;
}

// A third byte the blocks test: the seventh after the prefix is 'l'
// ("initiaLize("), 'n' ("timeliNe_...") or 's' ("event_Start(",
// "collapSable_start(") in every call, and something else in most near
// misses ("event_End", "enableD", "flags |"). Every call is at least 20
// bytes long, so a position with fewer readable bytes after it is no call.
const uint64_t THIRD_OFFSET = PREFIX_LENGTH + 6;

// The widest search the processor offers: 0 not asked yet, then
// SCAN_WIDTH_16 (SSE2, every x86-64) or SCAN_WIDTH_32 (AVX2).
uint32_t search_width;

#ifdef SCAN_AVX2
int avx2_usable() {
    unsigned a, b, c, d;
    // AVX2 in the processor, and the system saving the wide registers.
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE) || !(c & bit_AVX)) return 0;
    unsigned low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    if ((low & 6) != 6) return 0;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_AVX2);
}

// 32 start positions at a time; returns a prefix position, or null with *p
// moved to the first position not yet tested.
// The mask of the positions of one 32-byte block whose first, ninth and
// sixteenth bytes pass: 'p', '_', and 'l', 'n' or 's' ('l' | 2 is 'n').
__attribute__((target("avx2"))) inline uint32_t block_mask_32(const uint8_t* q) {
    const __m256i heads = _mm256_loadu_si256((const __m256i*)q);
    const __m256i tails = _mm256_loadu_si256((const __m256i*)(q + PREFIX_LENGTH - 1));
    const __m256i thirds = _mm256_loadu_si256((const __m256i*)(q + THIRD_OFFSET));
    const __m256i l_or_n =
        _mm256_cmpeq_epi8(_mm256_or_si256(thirds, _mm256_set1_epi8(2)), _mm256_set1_epi8('n'));
    const __m256i third = _mm256_or_si256(l_or_n, _mm256_cmpeq_epi8(thirds, _mm256_set1_epi8('s')));
    const __m256i both = _mm256_and_si256(_mm256_cmpeq_epi8(heads, _mm256_set1_epi8('p')),
                                          _mm256_cmpeq_epi8(tails, _mm256_set1_epi8('_')));
    return (uint32_t)_mm256_movemask_epi8(_mm256_and_si256(both, third));
}

// 64 start positions at a time, one branch for all of them; returns a
// candidate, or null with *p moved to the first position not yet tested.
__attribute__((target("avx2"))) const uint8_t*
find_prefix_32(const uint8_t** p, const uint8_t* last, const uint8_t* readable_end) {
    for (const uint8_t* q = *p; last - q >= 63 && readable_end - q >= (int64_t)(THIRD_OFFSET + 64);
         q += 64, *p = q) {
        uint64_t mask = (uint64_t)block_mask_32(q) | (uint64_t)block_mask_32(q + 32) << 32;
        for (; mask != 0; mask &= mask - 1) {
            const uint8_t* candidate = q + __builtin_ctzll(mask);
            if (candidate_at(candidate, readable_end)) return candidate;
        }
    }
    return nullptr;
}
#endif

void settle_width() {
    search_width = SCAN_WIDTH_16;
#ifdef SCAN_AVX2
    if (avx2_usable()) search_width = SCAN_WIDTH_32;
#endif
}

// Next position at or after p, and before end, where a call literal may
// start (candidate_at), or end. Many positions at a time test the prefix's
// first and last bytes ('p' and '_', eight apart), which few places in
// source text share; only those are looked at closer, reading no further
// than readable_end. Every byte is looked at once or twice, never more.
const uint8_t* find_prefix(const uint8_t* p, const uint8_t* end, const uint8_t* readable_end) {
    if (end - p < (int64_t)PREFIX_LENGTH) return end;
    const uint8_t* last = end - PREFIX_LENGTH; // the last position a prefix can start at
    if (search_width == 0) settle_width();
#ifdef SCAN_AVX2
    if (search_width == SCAN_WIDTH_32) {
        const uint8_t* found = find_prefix_32(&p, last, readable_end);
        if (found) return found;
    }
#endif
#if defined(__SSE2__)
    // Blocks of 16 start positions whose prefix (position + 8) still lies
    // before end and whose sixteenth byte can be read.
    for (; last - p >= 15 && readable_end - p >= (int64_t)(THIRD_OFFSET + 16); p += 16) {
        const __m128i heads = _mm_loadu_si128((const __m128i*)p);
        const __m128i tails = _mm_loadu_si128((const __m128i*)(p + PREFIX_LENGTH - 1));
        const __m128i thirds = _mm_loadu_si128((const __m128i*)(p + THIRD_OFFSET));
        const __m128i l_or_n =
            _mm_cmpeq_epi8(_mm_or_si128(thirds, _mm_set1_epi8(2)), _mm_set1_epi8('n'));
        const __m128i third = _mm_or_si128(l_or_n, _mm_cmpeq_epi8(thirds, _mm_set1_epi8('s')));
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(heads, _mm_set1_epi8('p')),
                                           _mm_cmpeq_epi8(tails, _mm_set1_epi8('_')));
        uint32_t mask = (uint32_t)_mm_movemask_epi8(_mm_and_si128(both, third));
        for (; mask != 0; mask &= mask - 1) {
            const uint8_t* candidate = p + __builtin_ctz(mask);
            if (candidate_at(candidate, readable_end)) return candidate;
        }
    }
#endif
    for (; p <= last; ++p)
        if (*p == 'p' && candidate_at(p, readable_end)) return p;
    return end;
}

// Index of the call whose literal starts at p (the prefix already matched),
// or CALL_LITERAL_COUNT when none does. No tail is a prefix of another, so
// at most one matches.
uint32_t match_call(const uint8_t* p, const uint8_t* end) {
    const uint64_t room = (uint64_t)(end - p);
    for (uint32_t i = 0; i < CALL_LITERAL_COUNT; ++i) {
        const call_t& call = CALLS[i];
        if (call.length <= room &&
            bytes_equal(p + PREFIX_LENGTH, call.length - PREFIX_LENGTH,
                        call.literal + PREFIX_LENGTH, call.length - PREFIX_LENGTH))
            return i;
    }
    return CALL_LITERAL_COUNT;
}

} // namespace

uint32_t scan_search_width(uint32_t width) {
    if (search_width == 0) settle_width();
    if (width == SCAN_WIDTH_16) search_width = SCAN_WIDTH_16;
#ifdef SCAN_AVX2
    if (width == SCAN_WIDTH_32 && avx2_usable()) search_width = SCAN_WIDTH_32;
#endif
    return search_width;
}

data_t call_literal(uint32_t index) {
    return data_make(CALLS[index].length + 1, CALLS[index].length, (void*)CALLS[index].literal);
}

namespace {

// A candidate closer than the longest literal (35 bytes) to the end of a
// piece cannot be confirmed or refused until more bytes arrive.
static_assert(35 == SCAN_KEEP_MAX + 1, "the longest literal sets what a piece keeps");

enum scan_phase_t { SCAN_SEARCH, SCAN_SPACES, SCAN_IDENTIFIER };
enum id_state_t { ID_STORING, ID_TABLE_FULL, ID_NO_ROOM };

void identifier_begin(scan_t* scan) {
    scan->phase = SCAN_IDENTIFIER;
    scan->id_length = 0;
    scan->id_data = nullptr;
    scan->id_mark = data_mark(scan->arena);
    scan->id_state = scan->target->count < ID_TABLE_CAPACITY ? ID_STORING : ID_TABLE_FULL;
}

// Copies the next part of the identifier right after the parts before it.
// When the arena cannot hold the whole identifier, the parts already copied
// go back, so the arena ends as if the copy had been tried in one piece.
void identifier_part(scan_t* scan, const uint8_t* part, uint64_t n) {
    if (n == 0) return;
    if (scan->id_state == ID_STORING) {
        uint8_t* copy = data_append(scan->arena, part, n, 1);
        if (!copy) {
            data_rewind(scan->arena, scan->id_mark);
            scan->id_state = ID_NO_ROOM;
        } else if (!scan->id_data) {
            scan->id_data = copy;
        }
    }
    scan->id_length += n;
}

void identifier_end(scan_t* scan) {
    scan->phase = SCAN_SEARCH;
    if (scan->id_length == 0) return;
    id_table_t* table = scan->target;
    if (scan->id_state == ID_TABLE_FULL) {
        table->dropped += 1;
    } else if (scan->id_state == ID_NO_ROOM) {
        table->lost += 1;
    } else {
        table->records[table->count++] = data_t{scan->id_length, scan->id_length, scan->id_data};
    }
}

} // namespace

void scan_begin(scan_t* scan, data_t* arena, id_table_t* timelines, id_table_t* events) {
    *scan = scan_t{arena, timelines, events, SCAN_SEARCH, nullptr, ID_STORING, 0, nullptr, 0};
}

uint64_t scan_feed(scan_t* scan, const uint8_t* bytes, uint64_t n, int last) {
    const uint8_t* cursor = bytes;
    const uint8_t* end = bytes + n;
    // Candidates must start before this offset to be decided within the piece.
    const uint64_t decidable = last ? n : (n > SCAN_KEEP_MAX ? n - SCAN_KEEP_MAX : 0);
    for (;;) {
        if (scan->phase == SCAN_SPACES) {
            while (cursor < end && char_is_space(*cursor))
                ++cursor;
            if (cursor == end && !last) return n;
            identifier_begin(scan);
        }
        if (scan->phase == SCAN_IDENTIFIER) {
            const uint8_t* start = cursor;
            while (cursor < end && char_is_identifier(*cursor))
                ++cursor;
            identifier_part(scan, start, (uint64_t)(cursor - start));
            if (cursor == end && !last) return n;
            identifier_end(scan);
        }
        // Search: every candidate here starts before bytes + decidable.
        const uint64_t offset = (uint64_t)(cursor - bytes);
        if (offset >= decidable) return last ? n : offset;
        const uint8_t* search_end =
            last ? end : bytes + decidable + PREFIX_LENGTH - 1; // starts < decidable
        const uint8_t* found = find_prefix(cursor, search_end, end);
        if (found == search_end) return last ? n : decidable;
        uint32_t call = match_call(found, end);
        if (call == CALL_LITERAL_COUNT) {
            // The prefix has no border, so no occurrence can start inside it.
            cursor = found + PREFIX_LENGTH;
            continue;
        }
        cursor = found + CALLS[call].length;
        scan->target = call < CALL_FIRST_EVENT ? scan->timelines : scan->events;
        scan->phase = SCAN_SPACES;
    }
}

void scan_calls(data_t text, data_t* arena, id_table_t* timelines, id_table_t* events) {
    if (!text.data) return;
    scan_t scan;
    scan_begin(&scan, arena, timelines, events);
    scan_feed(&scan, text.data, text.used, 1);
}
