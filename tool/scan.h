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

const uint32_t CALL_LITERAL_COUNT = 7;
// Calls 0 to 4 name timelines, 5 and 6 events.
const uint32_t CALL_FIRST_EVENT = 5;
data_t call_literal(uint32_t index);

// Appends the first argument of every profiler call in the text to the
// table its call feeds, copying the identifier into the arena.
void scan_calls(data_t text, data_t* arena, id_table_t* timelines, id_table_t* events);

// Stores one identifier in a table (or counts why it could not).
void id_table_add(id_table_t* table, data_t* arena, const uint8_t* id, uint64_t length);
