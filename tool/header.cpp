#include "tool/header.h"

#include "base/check.h"
#include "base/format.h"

namespace {

// The two event ids every header starts with; found ids take 2 onwards.
const char FIXED_COLLAPSE[] = "profiler_collapse";
const char FIXED_NOT_MEASURED[] = "profiler_not_measured";
const uint64_t FIXED_MAX_LENGTH = 21;

// Appends pieces and remembers whether any of them did not fit.
struct header_out_t {
    data_t* block;
    int complete;

    void text(const char* piece, uint64_t length) {
        if (!data_append(block, piece, length, 1)) complete = 0;
    }
    template <uint64_t N> void text(const char (&piece)[N]) { text(piece, N - 1); }
    void id(const data_t* record) { text((const char*)record->data, record->used); }
    void number(uint64_t value) {
        uint64_t digits = 1;
        for (uint64_t v = value; v >= 10; v /= 10)
            ++digits;
        if (data_append_unsigned(block, value, 0, 0, 0) != digits) complete = 0;
    }
};

int is_fixed_event(const data_t* record) {
    return bytes_equal(record->data, record->used, FIXED_COLLAPSE, sizeof FIXED_COLLAPSE - 1) ||
           bytes_equal(record->data, record->used, FIXED_NOT_MEASURED,
                       sizeof FIXED_NOT_MEASURED - 1);
}

// A found event id equal to a fixed one would be a second enumerator of the
// same name, which no compiler accepts: it is removed like a duplicate.
void remove_fixed_events(id_table_t* events) {
    for (uint64_t i = 0; i < events->count; ++i)
        if (is_fixed_event(&events->records[i])) events->records[i].used = 0;
}

// Each length is followed by its separator; the break after every 20th
// index counts removed records too.
void write_lengths(header_out_t* out, const id_table_t* table, uint64_t* max) {
    for (uint64_t i = 0; i < table->count; ++i) {
        const data_t* record = &table->records[i];
        if (record->used == 0) continue;
        out->number(record->used);
        if ((i + 1) % 20 != 0)
            out->text(", ");
        else
            out->text(",\n    ");
        if (record->used > *max) *max = record->used;
    }
}

template <uint64_t B, uint64_t A>
void write_ids(header_out_t* out, const id_table_t* table, const char (&before)[B],
               const char (&after)[A]) {
    for (uint64_t i = 0; i < table->count; ++i) {
        const data_t* record = &table->records[i];
        if (record->used == 0) continue;
        out->text(before);
        out->id(record);
        out->text(after);
    }
}

} // namespace

void remove_duplicates(id_table_t* table) {
    // A set of the ids kept so far: comparing every pair would take two
    // million comparisons on a full table, at the end of every run.
    const uint64_t SLOTS = 2 * ID_TABLE_CAPACITY; // a power of two, never more than half full
    static_assert((SLOTS & (SLOTS - 1)) == 0 && ID_TABLE_CAPACITY < 0xFFFF, "slots hold index + 1");
    uint16_t kept[SLOTS] = {}; // index + 1 of a kept record; 0 for an empty slot
    CHECK(table->count <= ID_TABLE_CAPACITY);
    for (uint64_t i = 0; i < table->count; ++i) {
        data_t* record = &table->records[i];
        if (record->used == 0) continue;         // removed already: it equals only removed ones
        uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (uint64_t b = 0; b < record->used; ++b)
            hash = (hash ^ record->data[b]) * 1099511628211ull;
        for (uint64_t slot = hash & (SLOTS - 1);; slot = (slot + 1) & (SLOTS - 1)) {
            if (kept[slot] == 0) {
                kept[slot] = (uint16_t)(i + 1);
                break;
            }
            if (data_equal(&table->records[kept[slot] - 1], record)) {
                record->used = 0;
                break;
            }
        }
    }
}

int write_header(data_t* output, id_table_t* timelines, id_table_t* events) {
    header_out_t out{output, 1};
    out.text("\n#ifndef PROFILER_IDS_H\n\n");
    out.text("#ifdef PROFILER_ON\n\n");
    out.text("#include <stdint.h>\n\n");
    if (timelines->count != 0) {
        remove_duplicates(timelines);
        out.text("typedef enum profiler_timeline_id_t {\n");
        write_ids(&out, timelines, "    profiler_timeline_id_", ",\n");
        out.text("    profiler_timeline_id_count\n} profiler_timeline_id_t;\n\n");
    }
    if (events->count != 0) {
        remove_duplicates(events);
        remove_fixed_events(events);
        out.text("typedef enum profiler_event_id_t {\n");
        out.text("    profiler_event_id_profiler_collapse,\n");
        out.text("    profiler_event_id_profiler_not_measured,\n");
        write_ids(&out, events, "    profiler_event_id_", ",\n");
        out.text("    profiler_event_id_count\n} profiler_event_id_t;\n\n");
    }
    out.text("#ifdef PROFILER_IMPLEMENTATION\n\n");
    if (timelines->count != 0) {
        uint64_t max = 0;
        out.text("const char* profiler_timeline_id_strings[ profiler_timeline_id_count ] = {\n");
        write_ids(&out, timelines, "    \"", "\",\n");
        out.text("};\n\n");
        out.text("uint16_t profiler_timeline_id_string_lengths[ profiler_timeline_id_count ] = "
                 "{\n    ");
        write_lengths(&out, timelines, &max);
        out.text("\n};\n\n");
        out.text("uint16_t profiler_max_timeline_id_string_length = ");
        out.number(max);
        out.text(";\n\n");
    }
    if (events->count != 0) {
        uint64_t max = FIXED_MAX_LENGTH;
        out.text("const char* profiler_event_id_strings[ profiler_event_id_count ] = {\n");
        out.text("    \"profiler_collapse\",\n");
        out.text("    \"profiler_not_measured\",\n");
        write_ids(&out, events, "    \"", "\",\n");
        out.text("};\n\n");
        out.text("uint16_t profiler_event_id_string_lengths[ profiler_event_id_count ] = {\n    ");
        out.number(sizeof FIXED_COLLAPSE - 1);
        out.text(",\n    ");
        out.number(sizeof FIXED_NOT_MEASURED - 1);
        out.text(",\n    ");
        write_lengths(&out, events, &max);
        out.text("\n};\n\n");
        out.text("uint16_t profiler_max_event_id_string_length = ");
        out.number(max);
        out.text(";\n\n");
    }
    out.text("#else /* PROFILER_IMPLEMENTATION */ \n\n");
    // Declared only where defined: a table without ids has no count to size
    // it with, and a unit including the header would not compile.
    if (timelines->count != 0) {
        out.text(
            "extern const char* profiler_timeline_id_strings[ profiler_timeline_id_count ];\n");
        out.text(
            "extern uint16_t profiler_timeline_id_string_lengths[ profiler_timeline_id_count ];\n");
        out.text("extern uint16_t profiler_max_timeline_id_string_length;\n");
    }
    if (events->count != 0) {
        out.text("extern const char* profiler_event_id_strings[ profiler_event_id_count ];\n");
        out.text("extern uint16_t profiler_event_id_string_lengths[ profiler_event_id_count ];\n");
        out.text("extern uint16_t profiler_max_event_id_string_length;\n");
    }
    out.text("\n#endif /* PROFILER_IMPLEMENTATION */ \n\n");
    out.text("#endif /* PROFILER_ON */\n");
    out.text("\n#define PROFILER_IDS_H\n#endif\n");
    return out.complete;
}

header_problem_t header_problem(const id_table_t* timelines, const id_table_t* events) {
    // "count" and "t" would repeat the enumeration's own names.
    const data_t count = DATA_LITERAL("count"), type = DATA_LITERAL("t");
    const id_table_t* tables[2] = {timelines, events};
    for (int t = 0; t < 2; ++t) {
        for (uint64_t i = 0; i < tables[t]->count; ++i) {
            const data_t* id = &tables[t]->records[i];
            if (data_equal(id, &count) || data_equal(id, &type))
                return header_problem_t{HEADER_ID_CLASH, t, id};
            if (id->used > HEADER_ID_LENGTH_LIMIT)
                return header_problem_t{HEADER_ID_TOO_LONG, t, id};
        }
    }
    return header_problem_t{HEADER_FINE, 0, nullptr};
}
