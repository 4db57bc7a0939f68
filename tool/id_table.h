#pragma once

#include "base/data.h"

// The two tables the scanner fills and the header writer reads: timeline
// ids and event ids, each in the order found.

// Both tables hold at most this many ids; later ones are dropped.
const uint64_t ID_TABLE_CAPACITY = 2048;

// A record's size and used are the id's length and its data a copy in the
// run's arena; the header writer marks duplicates by setting used to 0.
struct id_table_t {
    data_t* records; // ID_TABLE_CAPACITY records
    uint64_t count;
    uint64_t dropped; // ids left out because the table was full
    uint64_t lost;    // ids left out because the arena could not hold them
};

// id_table_make returns an empty table whose records are carved from the
// arena; records is null when the arena cannot hold them.
id_table_t id_table_make(data_t* arena);

// id_table_add adds an id found in another scan, as this scan would have:
// dropped when the table is full, lost when the arena cannot hold its copy.
void id_table_add(id_table_t* table, data_t* arena, const data_t* id);

// id_table_keep records an id of length bytes whose copy in the arena is
// made already: dropped when the table is full, lost when copy is null (the
// arena could not hold it). The one rule of id_table_add and the scan.
void id_table_keep(id_table_t* table, uint8_t* copy, uint64_t length);
