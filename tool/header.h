#pragma once

#include "scan.h"

// Marks every later occurrence of an id as removed (used = 0). The table
// holds at most ID_TABLE_CAPACITY records.
void remove_duplicates(id_table_t* table);

// Appends the whole header to the output block, removing duplicates from
// both tables on the way. Returns 1 when every piece fitted, 0 when the
// block ran out of room and the text is incomplete.
int write_header(data_t* output, id_table_t* timelines, id_table_t* events);
