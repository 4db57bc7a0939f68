#include "tool/header.h"

#include "base/check.h"
#include "base/format.h"

namespace {

// Everything the header declares for one kind of id, and so every name an
// id's enumerator must not repeat: the check below and the writer read the
// same record, so a name added to the header is refused as an id at once.
struct header_kind_t {
    const char* type;       // the enumeration, by tag and by typedef
    const char* enumerator; // the prefix of each id's enumerator
    const char* count;      // the enumerator after the last id
    const char* strings;    // the table of names
    const char* lengths;    // the table of their lengths
    const char* longest;    // the greatest length
    // Ids every header of this kind starts with, and the least the greatest
    // length can be.
    const char* const* fixed;
    uint32_t fixed_count;
    uint64_t longest_fixed;
};

// The two event ids every header starts with; found ids take 2 onwards.
const char* const FIXED_EVENTS[] = {"profiler_collapse", "profiler_not_measured"};

const header_kind_t TIMELINES = {"profiler_timeline_id_t",
                                 "profiler_timeline_id_",
                                 "profiler_timeline_id_count",
                                 "profiler_timeline_id_strings",
                                 "profiler_timeline_id_string_lengths",
                                 "profiler_max_timeline_id_string_length",
                                 nullptr,
                                 0,
                                 0};
const header_kind_t EVENTS = {"profiler_event_id_t",
                              "profiler_event_id_",
                              "profiler_event_id_count",
                              "profiler_event_id_strings",
                              "profiler_event_id_string_lengths",
                              "profiler_max_event_id_string_length",
                              FIXED_EVENTS,
                              2,
                              21};
const header_kind_t* const KINDS[2] = {&TIMELINES, &EVENTS};

// Appends pieces and remembers whether any of them did not fit.
struct header_out_t {
    data_t* block;
    int complete;

    void text(const char* piece, uint64_t length) {
        if (!data_append(block, piece, length, 1)) complete = 0;
    }
    void text(const char* piece) { text(piece, text_length(piece)); }
    void id(const data_t* record) { text((const char*)record->data, record->used); }
    void number(uint64_t value) {
        uint64_t digits = 1;
        for (uint64_t v = value; v >= 10; v /= 10)
            ++digits;
        if (data_append_unsigned(block, value, 0, 0, 0) != digits) complete = 0;
    }
};

// Whether the id equals one of the kind's fixed ids.
int is_fixed(const header_kind_t& kind, const data_t* record) {
    for (uint32_t i = 0; i < kind.fixed_count; ++i)
        if (bytes_equal(record->data, record->used, kind.fixed[i], text_length(kind.fixed[i])))
            return 1;
    return 0;
}

// Whether name is the enumerator the kind's prefix and the id spell.
int spells(const char* name, const char* prefix, const data_t* id) {
    const uint64_t n = text_length(prefix);
    return bytes_equal(name, n, prefix, n) &&
           bytes_equal(name + n, text_length(name + n), id->data, id->used);
}

// Whether the id's enumerator would repeat a name the header declares
// besides the enumerators: the name of an enumeration, a table or a count.
int clashes(const header_kind_t& kind, const data_t* id) {
    for (const header_kind_t* other : KINDS) {
        const char* names[] = {other->type, other->count, other->strings, other->lengths,
                               other->longest};
        for (const char* name : names)
            if (spells(name, kind.enumerator, id)) return 1;
    }
    return 0;
}

// One line per kept id: before, the id, after.
void write_ids(header_out_t* out, const header_kind_t& kind, const id_table_t* table,
               const char* before, const char* between, const char* after) {
    for (uint32_t i = 0; i < kind.fixed_count; ++i) {
        out->text(before);
        out->text(between);
        out->text(kind.fixed[i]);
        out->text(after);
    }
    for (uint64_t i = 0; i < table->count; ++i) {
        const data_t* record = &table->records[i];
        if (record->used == 0) continue;
        out->text(before);
        out->text(between);
        out->id(record);
        out->text(after);
    }
}

// Each length is followed by its separator; the break after every 20th
// index counts removed records too, and the fixed ids stand on lines of
// their own. Returns the greatest length.
uint64_t write_lengths(header_out_t* out, const header_kind_t& kind, const id_table_t* table) {
    for (uint32_t i = 0; i < kind.fixed_count; ++i) {
        out->number(text_length(kind.fixed[i]));
        out->text(",\n    ");
    }
    uint64_t longest = kind.longest_fixed;
    for (uint64_t i = 0; i < table->count; ++i) {
        const data_t* record = &table->records[i];
        if (record->used == 0) continue;
        out->number(record->used);
        out->text((i + 1) % 20 != 0 ? ", " : ",\n    ");
        if (record->used > longest) longest = record->used;
    }
    return longest;
}

// "typedef enum profiler_event_id_t { ... } profiler_event_id_t;", without
// the duplicates, and without found ids equal to a fixed one: a second
// enumerator of the same name no compiler accepts.
void write_enumeration(header_out_t* out, const header_kind_t& kind, id_table_t* table) {
    header_prune(table, &kind == &EVENTS);
    out->text("typedef enum ");
    out->text(kind.type);
    out->text(" {\n");
    write_ids(out, kind, table, "    ", kind.enumerator, ",\n");
    out->text("    ");
    out->text(kind.count);
    out->text("\n} ");
    out->text(kind.type);
    out->text(";\n\n");
}

// The tables of names and lengths, and the greatest length.
void write_tables(header_out_t* out, const header_kind_t& kind, const id_table_t* table) {
    out->text("const char* ");
    out->text(kind.strings);
    out->text("[ ");
    out->text(kind.count);
    out->text(" ] = {\n");
    write_ids(out, kind, table, "    \"", "", "\",\n");
    out->text("};\n\n");
    out->text("uint16_t ");
    out->text(kind.lengths);
    out->text("[ ");
    out->text(kind.count);
    out->text(" ] = {\n    ");
    const uint64_t longest = write_lengths(out, kind, table);
    out->text("\n};\n\n");
    out->text("uint16_t ");
    out->text(kind.longest);
    out->text(" = ");
    out->number(longest);
    out->text(";\n\n");
}

// The same tables declared for the units that do not define them.
void write_externs(header_out_t* out, const header_kind_t& kind) {
    const char* pieces[] = {"extern const char* ", kind.strings, "[ ", kind.count, " ];\n",
                            "extern uint16_t ",    kind.lengths, "[ ", kind.count, " ];\n",
                            "extern uint16_t ",    kind.longest, ";\n"};
    for (const char* piece : pieces)
        out->text(piece);
}

} // namespace

void header_prune(id_table_t* table, int events) {
    remove_duplicates(table);
    for (uint64_t i = 0; i < table->count; ++i)
        if (is_fixed(*KINDS[events != 0], &table->records[i])) table->records[i].used = 0;
}

uint32_t header_fixed_count(int events) { return KINDS[events != 0]->fixed_count; }

const char* header_fixed_id(int events, uint32_t index) { return KINDS[events != 0]->fixed[index]; }

void remove_duplicates(id_table_t* table) {
    // A set of the ids kept so far: comparing every pair would take two
    // million comparisons on a full table, at the end of every run. A table
    // of the default size keeps it on the stack, a larger one in its slots.
    uint32_t stack_slots[2 * ID_TABLE_CAPACITY];
    const uint64_t capacity = table->slots ? table->capacity : ID_TABLE_CAPACITY;
    const uint64_t SLOTS = id_table_slots(capacity); // a power of two, never more than half full
    static_assert(ID_TABLE_CAPACITY_MAX < 0xFFFFFFFF, "slots hold index + 1");
    uint32_t* kept = table->slots ? table->slots : stack_slots; // index + 1 of a kept record
    CHECK(table->count <= capacity && capacity <= ID_TABLE_CAPACITY_MAX);
    for (uint64_t slot = 0; slot < SLOTS; ++slot)
        kept[slot] = 0;
    for (uint64_t i = 0; i < table->count; ++i) {
        data_t* record = &table->records[i];
        if (record->used == 0) continue;         // removed already: it equals only removed ones
        uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (uint64_t b = 0; b < record->used; ++b)
            hash = (hash ^ record->data[b]) * 1099511628211ull;
        for (uint64_t slot = hash & (SLOTS - 1);; slot = (slot + 1) & (SLOTS - 1)) {
            if (kept[slot] == 0) {
                kept[slot] = (uint32_t)(i + 1);
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
    id_table_t* tables[2] = {timelines, events};
    out.text(HEADER_OPENING);
    for (int k = 0; k < 2; ++k)
        if (tables[k]->count != 0) write_enumeration(&out, *KINDS[k], tables[k]);
    out.text("#ifdef PROFILER_IMPLEMENTATION\n\n");
    for (int k = 0; k < 2; ++k)
        if (tables[k]->count != 0) write_tables(&out, *KINDS[k], tables[k]);
    out.text("#else /* PROFILER_IMPLEMENTATION */ \n\n");
    // Declared only where defined: a table without ids has no count to size
    // it with, and a unit including the header would not compile.
    for (int k = 0; k < 2; ++k)
        if (tables[k]->count != 0) write_externs(&out, *KINDS[k]);
    out.text("\n#endif /* PROFILER_IMPLEMENTATION */ \n\n");
    out.text("#endif /* PROFILER_ON */\n");
    out.text("\n#define PROFILER_IDS_H\n#endif\n");
    return out.complete;
}

header_problem_t header_problem(const id_table_t* timelines, const id_table_t* events) {
    const id_table_t* tables[2] = {timelines, events};
    for (int k = 0; k < 2; ++k) {
        for (uint64_t i = 0; i < tables[k]->count; ++i) {
            const data_t* id = &tables[k]->records[i];
            if (clashes(*KINDS[k], id)) return header_problem_t{HEADER_ID_CLASH, k, id};
            if (id->used > HEADER_ID_LENGTH_LIMIT)
                return header_problem_t{HEADER_ID_TOO_LONG, k, id};
        }
    }
    return header_problem_t{HEADER_FINE, 0, nullptr};
}

const char* header_enumerator_prefix(int events) { return KINDS[events != 0]->enumerator; }
