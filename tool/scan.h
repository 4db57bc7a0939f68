#pragma once

#include "base/data.h"
#include "tool/id_table.h"

// A call the scan looks for: its literal, the call's name and "(", and
// the table its first argument feeds.
struct call_literal_t {
    const char* text;
    uint64_t length;
    int events; // 1: the event table, 0: the timeline table
};

// A row of the table below, its length taken from the literal itself.
template <uint64_t SIZE> constexpr call_literal_t call_row(const char (&text)[SIZE], int events) {
    return call_literal_t{text, SIZE - 1, events};
}

// The calls, the timeline ones first. A new call is one more row here: the
// counts below follow, and the fast search checks every row when it is
// compiled, so a call it would pass over does not build.
constexpr call_literal_t CALL_LITERALS[] = {
    call_row("profiler_initialize(", 0),
    call_row("profiler_timeline_initialize(", 0),
    call_row("profiler_timeline_id_declaration(", 0),
    call_row("profiler_timeline_set_id(", 0),
    call_row("profiler_timeline_set_id_for_index(", 0),
    call_row("profiler_event_start(", 1),
    call_row("profiler_collapsable_start(", 1),
};
constexpr uint32_t CALL_LITERAL_COUNT = sizeof CALL_LITERALS / sizeof CALL_LITERALS[0];

constexpr uint32_t call_first_event() {
    uint32_t i = 0;
    while (i < CALL_LITERAL_COUNT && !CALL_LITERALS[i].events)
        ++i;
    return i;
}
// Calls before this index name timelines, the rest events.
constexpr uint32_t CALL_FIRST_EVENT = call_first_event();

constexpr int call_kinds_in_order() {
    for (uint32_t i = CALL_FIRST_EVENT; i < CALL_LITERAL_COUNT; ++i)
        if (!CALL_LITERALS[i].events) return 0;
    return 1;
}
static_assert(call_kinds_in_order(), "the timeline calls come first: the scan tells by index");

constexpr uint64_t call_longest() {
    uint64_t longest = 0;
    for (const call_literal_t& call : CALL_LITERALS)
        longest = call.length > longest ? call.length : longest;
    return longest;
}

// call_literal returns call index's literal, "profiler_...(", as a string.
data_t call_literal(uint32_t index);

// scan_calls appends the first argument of every profiler call in the text
// to the table its call feeds, copying the identifier into the arena.
void scan_calls(data_t text, id_store_t store);

// Where an id stands in its text: the ordinal-th id (from 0) that the text
// gives the table, found at offset; line, column and character count from
// 1 (the column as gcc shows it, the character as Visual Studio's editor
// counts: utf8_columns_t), and are filled in by whoever reads the text
// (scan_places).
struct scan_place_t {
    uint64_t ordinal;
    uint64_t offset;
    uint64_t line, column, character;
};

// The same scan over a text that arrives in pieces, so that a file of any
// size goes through one small buffer. Between the pieces of one text,
// nothing else may push into the arena: an identifier that spans pieces is
// copied in contiguous parts.
struct scan_t {
    id_store_t store;
    uint32_t phase;      // what the next byte continues: a search, spaces, an identifier
    id_table_t* target;  // the table the current call feeds
    uint32_t id_state;   // whether the current identifier is being stored
    uint64_t id_length;  // its bytes so far
    uint8_t* id_data;    // its copy in the arena
    data_mark_t id_mark; // the arena before the copy
    uint64_t fed;        // bytes of the text consumed by the pieces before
    uint64_t id_offset;  // where the current identifier starts in the text
    // The places asked for (scan_find_places), and the next one not found.
    id_table_t* place_table;
    scan_place_t* places;
    uint32_t place_count, place_next;
};

// A piece may leave this many bytes unconsumed: the start of a literal it
// cannot confirm yet, one byte short of the longest.
const uint64_t SCAN_KEEP_MAX = call_longest() - 1;

// scan_begin starts a scan into the tables and the arena.
void scan_begin(scan_t* scan, id_store_t store);
// scan_find_places makes the scan note the offsets of the table's ids at
// the places' ordinals, which must ascend; place_next says how many it found.
void scan_find_places(scan_t* scan, id_table_t* table, scan_place_t* places, uint32_t count);
// scan_open_identifier returns where the identifier the last piece ended in
// starts, when the next piece goes on with it; SCAN_NONE_OPEN otherwise.
const uint64_t SCAN_NONE_OPEN = ~(uint64_t)0;
uint64_t scan_open_identifier(const scan_t* scan);
// scan_feed scans the bytes and returns how many it consumed; the rest (at most
// SCAN_KEEP_MAX) must come again at the start of the next piece. With last,
// everything is consumed and the text ends there.
uint64_t scan_feed(scan_t* scan, const uint8_t* bytes, uint64_t n, int last);
