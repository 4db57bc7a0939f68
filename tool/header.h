#pragma once

#include "tool/id_table.h"

// remove_duplicates marks every later occurrence of an id as removed (used
// = 0). A table larger than ID_TABLE_CAPACITY needs its slots (id_table_track).
void remove_duplicates(id_table_t* table);

// header_prune removes what write_header leaves out of a table (events 1
// for the event table): the duplicates and the found ids equal to a fixed
// one. The ids left are the ones the header declares after the fixed ids.
void header_prune(id_table_t* table, int events);
// header_fixed_count and header_fixed_id give the ids every header of the
// kind declares first (profiler_collapse, ... for events).
uint32_t header_fixed_count(int events);
const char* header_fixed_id(int events, uint32_t index);

// HEADER_OPENING is how every header starts: a file that starts so was
// written by this tool (or copies one) and holds no call of the profiler.
#define HEADER_OPENING "\n#ifndef PROFILER_IDS_H\n\n#ifdef PROFILER_ON\n\n#include <stdint.h>\n\n"

// write_header appends the whole header to the output block, removing
// duplicates from both tables on the way. Returns 1 when every piece
// fitted, 0 when the block ran out of room and the text is incomplete.
int write_header(data_t* output, id_table_t* timelines, id_table_t* events);

// Ids no header can hold: one whose enumerator would repeat a name the
// header declares ("count" gives profiler_timeline_id_count, "strings" the
// name table's profiler_timeline_id_strings, and so on), and one longer
// than the 65,535 the uint16_t length table can say.
enum header_problem_kind_t { HEADER_FINE = 0, HEADER_ID_CLASH = 1, HEADER_ID_TOO_LONG = 2 };
const uint64_t HEADER_ID_LENGTH_LIMIT = 0xFFFF;
struct header_problem_t {
    header_problem_kind_t kind;
    int in_events; // the id is an event id, not a timeline id
    const data_t* id;
};
// header_problem returns the first such id of the timelines, then of the
// events; kind HEADER_FINE when there is none.
header_problem_t header_problem(const id_table_t* timelines, const id_table_t* events);

// header_enumerator_prefix returns what the header puts before a timeline
// id (events 0) or an event id (events 1) to name its enumerator.
const char* header_enumerator_prefix(int events);
