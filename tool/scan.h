#pragma once

#include "base/data.h"
#include "tool/id_table.h"

const uint32_t CALL_LITERAL_COUNT = 7;
// Calls 0 to 4 name timelines, 5 and 6 events.
const uint32_t CALL_FIRST_EVENT = 5;
// call_literal returns call index's literal, "profiler_...(", as a string.
data_t call_literal(uint32_t index);

// scan_calls appends the first argument of every profiler call in the text
// to the table its call feeds, copying the identifier into the arena.
void scan_calls(data_t text, data_t* arena, id_table_t* timelines, id_table_t* events);

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
    data_t* arena;
    id_table_t* timelines;
    id_table_t* events;
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
// cannot confirm yet.
const uint64_t SCAN_KEEP_MAX = 34;

// scan_search_width: the search runs 32 bytes at a time where the
// processor can (AVX2), else 16. Tests and benchmarks choose; it returns
// the width in force afterwards
// (a width the processor lacks is not taken; any other value only asks).
// The width is settled on first use; threads that scan at once must find
// it settled (ask before they start).
const uint32_t SCAN_WIDTH_16 = 16;
const uint32_t SCAN_WIDTH_32 = 32;
uint32_t scan_search_width(uint32_t width);

// scan_begin starts a scan into the tables and the arena.
void scan_begin(scan_t* scan, data_t* arena, id_table_t* timelines, id_table_t* events);
// scan_find_places makes the scan note the offsets of the table's ids at
// the places' ordinals, which must ascend; place_next says how many it found.
void scan_find_places(scan_t* scan, id_table_t* table, scan_place_t* places, uint32_t count);
// scan_feed scans the bytes and returns how many it consumed; the rest (at most
// SCAN_KEEP_MAX) must come again at the start of the next piece. With last,
// everything is consumed and the text ends there.
uint64_t scan_feed(scan_t* scan, const uint8_t* bytes, uint64_t n, int last);
