#pragma once

#include "tool/id_table.h"

// Marks every later occurrence of an id as removed (used = 0). The table
// holds at most ID_TABLE_CAPACITY records.
void remove_duplicates(id_table_t* table);

// Appends the whole header to the output block, removing duplicates from
// both tables on the way. Returns 1 when every piece fitted, 0 when the
// block ran out of room and the text is incomplete.
int write_header(data_t* output, id_table_t* timelines, id_table_t* events);

// Ids no header can hold: one spelled "count" or "t" would declare
// profiler_timeline_id_count or profiler_timeline_id_t (or the event ones) a
// second time, and a length over 65,535 does not fit the uint16_t length
// table.
enum header_problem_kind_t { HEADER_FINE = 0, HEADER_ID_CLASH = 1, HEADER_ID_TOO_LONG = 2 };
const uint64_t HEADER_ID_LENGTH_LIMIT = 0xFFFF;
struct header_problem_t {
    header_problem_kind_t kind;
    int in_events; // the id is an event id, not a timeline id
    const data_t* id;
};
// The first such id of the timelines, then the events; kind HEADER_FINE
// when there is none.
header_problem_t header_problem(const id_table_t* timelines, const id_table_t* events);
