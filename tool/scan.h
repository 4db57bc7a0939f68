#pragma once

#include "../base/data.h"

// Both id tables hold at most this many ids; later ones are dropped.
const uint64_t ID_TABLE_CAPACITY = 2048;

// Ids in the order found. A record's size and used are the id's length and
// its data a copy in the run's arena; the header writer marks duplicates by
// setting used to 0.
struct id_table_t {
    data_t* records; // ID_TABLE_CAPACITY records
    uint64_t count;
    uint64_t dropped; // ids left out because the table was full
    uint64_t lost;    // ids left out because the arena could not hold them
};

// Adds an id found in another scan, as this scan would have: dropped when
// the table is full, lost when the arena cannot hold its copy.
void id_table_add(id_table_t* table, data_t* arena, const data_t* id);

const uint32_t CALL_LITERAL_COUNT = 7;
// Calls 0 to 4 name timelines, 5 and 6 events.
const uint32_t CALL_FIRST_EVENT = 5;
data_t call_literal(uint32_t index);

// Appends the first argument of every profiler call in the text to the
// table its call feeds, copying the identifier into the arena.
void scan_calls(data_t text, data_t* arena, id_table_t* timelines, id_table_t* events);

// The same scan over a text that arrives in pieces, so that a file of any
// size goes through one small buffer. Between the pieces of one text,
// nothing else may push into the arena: an identifier that spans pieces is
// copied in contiguous parts.
struct scan_t {
    data_t* arena;
    id_table_t* timelines;
    id_table_t* events;
    uint32_t phase;     // what the next byte continues: a search, spaces, an identifier
    id_table_t* target; // the table the current call feeds
    uint32_t id_state;  // whether the current identifier is being stored
    uint64_t id_length; // its bytes so far
    uint8_t* id_data;   // its copy in the arena
};
// A piece may leave this many bytes unconsumed: the start of a literal it
// cannot confirm yet.
const uint64_t SCAN_KEEP_MAX = 34;

// The search runs 32 bytes at a time where the processor can (AVX2), else
// 16. Tests and benchmarks choose: returns the width in force afterwards
// (a width the processor lacks is not taken; any other value only asks).
// The width is settled on first use; threads that scan at once must find
// it settled (ask before they start).
const uint32_t SCAN_WIDTH_16 = 16;
const uint32_t SCAN_WIDTH_32 = 32;
uint32_t scan_search_width(uint32_t width);

void scan_begin(scan_t* scan, data_t* arena, id_table_t* timelines, id_table_t* events);
// Scans the bytes and returns how many it consumed; the rest (at most
// SCAN_KEEP_MAX) must come again at the start of the next piece. With last,
// everything is consumed and the text ends there.
uint64_t scan_feed(scan_t* scan, const uint8_t* bytes, uint64_t n, int last);
