#include "tool/id_table.h"

id_table_t id_table_make(data_t* arena) {
    data_t* records = (data_t*)data_push(arena, ID_TABLE_CAPACITY * sizeof(data_t), 8);
    return id_table_t{records, 0, 0, 0};
}

void id_table_add(id_table_t* table, data_t* arena, const data_t* id) {
    if (id->used == 0) return;
    uint8_t* copy =
        table->count < ID_TABLE_CAPACITY ? data_append(arena, id->data, id->used, 1) : nullptr;
    id_table_keep(table, copy, id->used);
}

void id_table_keep(id_table_t* table, uint8_t* copy, uint64_t length) {
    if (table->count >= ID_TABLE_CAPACITY)
        table->dropped += 1;
    else if (!copy)
        table->lost += 1;
    else
        table->records[table->count++] = data_t{length, length, copy};
}
