#include "tool/id_table.h"

id_table_t id_table_make(data_t* arena, uint64_t capacity) {
    data_t* records = (data_t*)data_push(arena, capacity * sizeof(data_t), 8);
    return id_table_t{records, 0, 0, 0, capacity};
}

uint64_t id_table_slots(uint64_t capacity) {
    uint64_t slots = 1;
    while (slots < 2 * capacity)
        slots *= 2;
    return slots;
}

int id_table_track(id_table_t* table, data_t* arena) {
    table->files = (uint32_t*)data_push(arena, table->capacity * sizeof(uint32_t), 8);
    table->slots =
        (uint32_t*)data_push(arena, id_table_slots(table->capacity) * sizeof(uint32_t), 8);
    return table->files && table->slots;
}

void id_table_add(id_table_t* table, data_t* arena, const data_t* id) {
    if (id->used == 0) return;
    uint8_t* copy =
        table->count < table->capacity ? data_append(arena, id->data, id->used, 1) : nullptr;
    id_table_keep(table, copy, id->used);
}

void id_table_keep(id_table_t* table, uint8_t* copy, uint64_t length) {
    if (table->count >= table->capacity)
        table->dropped += 1;
    else if (!copy)
        table->lost += 1;
    else
        table->records[table->count++] = data_t{length, length, copy};
}
