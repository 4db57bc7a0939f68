#include "scan.h"

#include "../base/chars.h"

namespace {

// Every call literal starts with this prefix, and nowhere else holds it, so
// one search for the prefix finds every candidate in order.
const char PREFIX[] = "profiler_";
const uint64_t PREFIX_LENGTH = 9;

// The tails after the prefix, in the table's order.
struct call_t {
    const char* tail;
    uint64_t length;
};
// clang-format off
const call_t CALLS[CALL_LITERAL_COUNT] = {
    {"initialize(", 11},
    {"timeline_initialize(", 20},
    {"timeline_id_declaration(", 24},
    {"timeline_set_id(", 16},
    {"timeline_set_id_for_index(", 26},
    {"event_start(", 12},
    {"collapsable_start(", 18},
};
// clang-format on

// Next position at or after p where the prefix starts, or end.
const uint8_t* find_prefix(const uint8_t* p, const uint8_t* end) {
    if (end - p < (int64_t)PREFIX_LENGTH) return end;
    const uint8_t* last = end - PREFIX_LENGTH;
    for (; p <= last; ++p) {
        if (*p != 'p') continue;
        if (bytes_equal(p + 1, PREFIX_LENGTH - 1, PREFIX + 1, PREFIX_LENGTH - 1)) return p;
    }
    return end;
}

// Index of the call whose literal starts at p (the prefix already matched),
// or CALL_LITERAL_COUNT when none does. No tail is a prefix of another, so
// at most one matches.
uint32_t match_call(const uint8_t* p, const uint8_t* end) {
    const uint8_t* tail = p + PREFIX_LENGTH;
    uint64_t room = (uint64_t)(end - tail);
    for (uint32_t i = 0; i < CALL_LITERAL_COUNT; ++i) {
        if (CALLS[i].length <= room && bytes_equal(tail, CALLS[i].length, CALLS[i].tail, CALLS[i].length))
            return i;
    }
    return CALL_LITERAL_COUNT;
}

} // namespace

data_t call_literal(uint32_t index) {
    static const char* const LITERALS[CALL_LITERAL_COUNT] = {
        "profiler_initialize(",          "profiler_timeline_initialize(",
        "profiler_timeline_id_declaration(", "profiler_timeline_set_id(",
        "profiler_timeline_set_id_for_index(", "profiler_event_start(",
        "profiler_collapsable_start(",
    };
    uint64_t length = PREFIX_LENGTH + CALLS[index].length;
    return data_make(length + 1, length, (void*)LITERALS[index]);
}

void id_table_add(id_table_t* table, data_t* arena, const uint8_t* id, uint64_t length) {
    if (table->count >= ID_TABLE_CAPACITY) {
        table->dropped += 1;
        return;
    }
    data_t* record = &table->records[table->count];
    record->used = record->size = length;
    record->data = data_append(arena, id, length, 1);
    if (record->data) {
        table->count += 1;
    } else {
        record->used = record->size = 0;
        table->lost += 1;
    }
}

void scan_calls(data_t text, data_t* arena, id_table_t* timelines, id_table_t* events) {
    if (!text.data) return;
    const uint8_t* cursor = text.data;
    const uint8_t* end = data_end(&text);
    while (cursor < end) {
        const uint8_t* found = find_prefix(cursor, end);
        if (found == end) return;
        uint32_t call = match_call(found, end);
        if (call == CALL_LITERAL_COUNT) {
            // The prefix has no border, so no occurrence can start inside it.
            cursor = found + PREFIX_LENGTH;
            continue;
        }
        cursor = found + PREFIX_LENGTH + CALLS[call].length;
        while (cursor < end && char_is_space(*cursor)) ++cursor;
        const uint8_t* start = cursor;
        while (cursor < end && char_is_identifier(*cursor)) ++cursor;
        if (cursor == start) continue;
        id_table_add(call < CALL_FIRST_EVENT ? timelines : events, arena, start,
                     (uint64_t)(cursor - start));
    }
}
