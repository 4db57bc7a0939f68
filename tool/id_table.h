#pragma once

#include "base/data.h"

// The two tables the scanner fills and the header writer reads: timeline
// ids and event ids, each in the order found.

// Each table holds at most its capacity of ids (this many unless the run
// asks for more, up to ID_TABLE_CAPACITY_MAX); later ones are dropped.
const uint64_t ID_TABLE_CAPACITY = 2048;
// The header's uint16_t length table and the duplicate set's indexes stop here.
const uint64_t ID_TABLE_CAPACITY_MAX = 65535;

// A record's size and used are the id's length and its data a copy in the
// run's arena; the header writer marks duplicates by setting used to 0.
struct id_table_t {
    data_t* records; // capacity records
    uint64_t count;
    uint64_t dropped; // ids left out because the table was full
    uint64_t lost;    // ids left out because the arena could not hold them
    uint64_t capacity = ID_TABLE_CAPACITY;
    // When tracked (id_table_track): the file list index each id came from,
    // so that an id can be found again in its file; and the room of the
    // duplicate set for a table larger than the default.
    uint32_t* files = nullptr;
    uint32_t* slots = nullptr;
};

// Where a scan puts the ids it finds: the two tables, and the arena that
// holds the ids' text. It points at them; whoever made them keeps them.
struct id_store_t {
    data_t* arena;
    id_table_t* timelines;
    id_table_t* events;
};

// id_table_make returns an empty table of the capacity whose records are
// carved from the arena; records is null when the arena cannot hold them.
id_table_t id_table_make(data_t* arena, uint64_t capacity);

// id_table_track carves the table's files and slots from the arena; 0 when
// it cannot hold them.
int id_table_track(id_table_t* table, data_t* arena);
// id_table_slots returns the size of the duplicate set of a table: a power
// of two at least twice the capacity, so it is never more than half full.
uint64_t id_table_slots(uint64_t capacity);

// id_table_add adds an id found in another scan, as this scan would have:
// dropped when the table is full, lost when the arena cannot hold its copy.
void id_table_add(id_table_t* table, data_t* arena, const data_t* id);

// id_table_keep records an id of length bytes whose copy in the arena is
// made already: dropped when the table is full, lost when copy is null (the
// arena could not hold it). The one rule of id_table_add and the scan.
void id_table_keep(id_table_t* table, uint8_t* copy, uint64_t length);
