#pragma once

#include "base/dir.h"
#include "tool/id_table.h"
#include "tool/report.h"

// Where the ids of a run were found: the file each came from is tracked
// while scanning (id_table_track); the line and column cost a second read
// of that one file, made only when a place is asked for.

// id_place returns the place of the table's record at index (events 1 for
// the event table), whose files the run tracked, reading its file through
// the buffer. 0 when it cannot be told: the file cannot be read again, or
// no longer holds the id.
int id_place(const file_list_t* list, const id_table_t* table, int events, uint64_t index,
             data_t* buffer, report_place_t* place);

// list_ids appends one line per id the header declares, in the header's
// order: its table, its name and the first place it is used, two spaces
// apart ("event  EV_Render_Frame  src/render.c:40:5"). An id found nowhere
// (a fixed one) has no place; one whose file cannot be read again has the
// path alone. It prunes the tables as the header writer does. Returns 0
// when the block ran out of room.
int list_ids(data_t* out, const file_list_t* list, id_table_t* timelines, id_table_t* events,
             data_t* buffer);
