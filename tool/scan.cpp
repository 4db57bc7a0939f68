#include "tool/scan.h"

#include "base/chars.h"
#include "tool/scan_search.h"

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

const uint64_t PREFIX_LENGTH = SEARCH_PREFIX_LENGTH;

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

// Next position at or after p, and before end, where a call literal may
// start (search_candidate_at), or end. Many positions at a time test the
// prefix's first and last bytes ('p' and '_', eight apart), which few
// places in source text share, and a third byte; only those are looked at
// closer, reading no further than readable_end.
const uint8_t* find_prefix(const uint8_t* p, const uint8_t* end, const uint8_t* readable_end) {
    if (end - p < (int64_t)PREFIX_LENGTH) return end;
    const uint8_t* last = end - PREFIX_LENGTH; // the last position a prefix can start at
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
        const __m128i tails = _mm_loadu_si128((const __m128i*)(p + PREFIX_LENGTH - 1));
        const __m128i thirds = _mm_loadu_si128((const __m128i*)(p + SEARCH_THIRD_OFFSET));
        const __m128i l_or_n =
            _mm_cmpeq_epi8(_mm_or_si128(thirds, _mm_set1_epi8(2)), _mm_set1_epi8('n'));
        const __m128i third = _mm_or_si128(l_or_n, _mm_cmpeq_epi8(thirds, _mm_set1_epi8('s')));
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(heads, _mm_set1_epi8('p')),
                                           _mm_cmpeq_epi8(tails, _mm_set1_epi8('_')));
        uint64_t mask = (uint32_t)_mm_movemask_epi8(_mm_and_si128(both, third));
        for (; mask != 0; mask &= mask - 1) {
            const uint8_t* candidate = p + search_lowest_bit(mask);
            if (search_candidate_at(candidate, readable_end)) return candidate;
        }
    }
#endif
    for (; p <= last; ++p)
        if (*p == 'p' && search_candidate_at(p, readable_end)) return p;
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
#ifdef SCAN_X86
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

void identifier_begin(scan_t* scan, uint64_t offset) {
    scan->phase = SCAN_IDENTIFIER;
    scan->id_offset = offset;
    scan->id_length = 0;
    scan->id_data = nullptr;
    scan->id_mark = data_mark(scan->arena);
    scan->id_state = scan->target->count < scan->target->capacity ? ID_STORING : ID_TABLE_FULL;
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
    // The places asked for are the ordinal-th ids of their kind, which the
    // tables count, stored or dropped, as they come.
    if (scan->place_next < scan->place_count && scan->target == scan->place_table) {
        scan_place_t* place = &scan->places[scan->place_next];
        if (scan->target->count + scan->target->dropped + scan->target->lost == place->ordinal) {
            place->offset = scan->id_offset;
            scan->place_next += 1;
        }
    }
    // The copy is made as the identifier arrives: none when the table was
    // full at its start, none either when the arena could not hold it.
    id_table_keep(scan->target, scan->id_state == ID_STORING ? scan->id_data : nullptr,
                  scan->id_length);
}

} // namespace

void scan_begin(scan_t* scan, data_t* arena, id_table_t* timelines, id_table_t* events) {
    *scan = scan_t{arena, timelines, events, SCAN_SEARCH, nullptr, ID_STORING, 0, nullptr,
                   0,     0,         0,      nullptr,     nullptr, 0,          0};
}

void scan_find_places(scan_t* scan, id_table_t* table, scan_place_t* places, uint32_t count) {
    scan->place_table = table;
    scan->places = places;
    scan->place_count = count;
}

namespace {

uint64_t feed_piece(scan_t* scan, const uint8_t* bytes, uint64_t n, int last) {
    const uint8_t* cursor = bytes;
    const uint8_t* end = bytes + n;
    // Candidates must start before this offset to be decided within the piece.
    const uint64_t decidable = last ? n : (n > SCAN_KEEP_MAX ? n - SCAN_KEEP_MAX : 0);
    for (;;) {
        if (scan->phase == SCAN_SPACES) {
            while (cursor < end && char_is_space(*cursor))
                ++cursor;
            if (cursor == end && !last) return n;
            identifier_begin(scan, scan->fed + (uint64_t)(cursor - bytes));
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

} // namespace

uint64_t scan_feed(scan_t* scan, const uint8_t* bytes, uint64_t n, int last) {
    const uint64_t consumed = feed_piece(scan, bytes, n, last);
    scan->fed += consumed;
    return consumed;
}

void scan_calls(data_t text, data_t* arena, id_table_t* timelines, id_table_t* events) {
    if (!text.data) return;
    scan_t scan;
    scan_begin(&scan, arena, timelines, events);
    scan_feed(&scan, text.data, text.used, 1);
}
