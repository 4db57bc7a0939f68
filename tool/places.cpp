#include "tool/places.h"

#include "tool/header.h"
#include "tool/scan_files.h"

namespace {

const char* const KIND_NAMES[2] = {"timeline", "event"};

data_t path_of(const file_list_t* list, uint32_t file) {
    const char* path = (const char*)list->paths[file];
    return data_make(0, text_length(path), (void*)path);
}

// The ordinal of the record among the ids its file gave the table: the
// records of one file stand together, in the order found.
uint64_t ordinal_in_file(const id_table_t* table, uint64_t index) {
    uint64_t first = index;
    while (first > 0 && table->files[first - 1] == table->files[index])
        --first;
    return index - first;
}

// Appends "kind  id", and "  place" when there is one, and a line feed.
int append_line(data_t* out, int events, const data_t& id, const report_place_t* place) {
    int fitted = data_append_bytes(out, KIND_NAMES[events], text_length(KIND_NAMES[events])) &&
                 data_append_bytes(out, "  ", 2) && data_append_data(out, &id, 1);
    if (place) fitted = fitted && data_append_bytes(out, "  ", 2) && report_place(out, *place);
    return fitted && data_append_byte(out, '\n');
}

// The lines of count records of one file, from the table's index first on,
// whose places hold their ordinals; one read of the file finds them all.
int append_file_lines(data_t* out, const file_list_t* list, const id_table_t* table, int events,
                      uint64_t first, scan_place_t* places, uint32_t count, data_t* buffer) {
    const uint32_t file = table->files[first];
    scan_places((const char*)list->paths[file], buffer, events, places, count);
    for (uint32_t i = 0; i < count; ++i) {
        const report_place_t place{path_of(list, file), places[i].line, places[i].column,
                                   places[i].character};
        if (!append_line(out, events, table->records[first + places[i].ordinal], &place)) return 0;
    }
    return 1;
}

// The most records one file gave the table: the places one read finds.
uint64_t most_in_one_file(const id_table_t* table) {
    uint64_t most = 0, run = 0;
    for (uint64_t i = 0; i < table->count; ++i) {
        run = i != 0 && table->files[i] == table->files[i - 1] ? run + 1 : 1;
        if (run > most) most = run;
    }
    return most;
}

// The lines of the table's records that the header keeps, one read per
// file: the places of a file's records stand at the end of the block, the
// lines grow from its start. A block too small for a file's places takes
// them in as many reads as it must.
int list_places(data_t* out, const file_list_t* list, const id_table_t* table, int events,
                data_t* buffer) {
    const uint64_t room = (out->size - out->used) / 2 / sizeof(scan_place_t);
    const uint64_t most = most_in_one_file(table);
    const uint32_t capacity = (uint32_t)(most < room ? most : room);
    if (capacity == 0) return table->count == 0;
    const uint64_t size = out->size;
    const uint64_t at = (size - capacity * sizeof(scan_place_t)) & ~(uint64_t)7;
    scan_place_t* places = (scan_place_t*)(out->data + at);
    out->size = at;
    uint64_t start = 0, first = 0; // of the file, and of the places held
    uint32_t count = 0;
    int fitted = 1;
    for (uint64_t i = 0; i < table->count && fitted; ++i) {
        if (i == 0 || table->files[i] != table->files[i - 1]) start = i;
        if (table->records[i].used == 0) continue;
        if (count == capacity || (count != 0 && start != first)) {
            fitted = append_file_lines(out, list, table, events, first, places, count, buffer);
            count = 0;
        }
        first = start;
        places[count++] = scan_place_t{i - start, 0, 0, 0, 0};
    }
    fitted = fitted && (count == 0 ||
                        append_file_lines(out, list, table, events, first, places, count, buffer));
    out->size = size;
    return fitted;
}

int list_kind(data_t* out, const file_list_t* list, id_table_t* table, int events, data_t* buffer) {
    // A table without ids declares nothing, not even the fixed ids.
    if (table->count == 0) return 1;
    // The fixed ids come first; where the sources use one too, the first
    // use is its place. Found by each record's size, its length, which
    // pruning leaves: a list made again after pruning finds the same.
    for (uint32_t f = 0; f < header_fixed_count(events); ++f) {
        const char* fixed = header_fixed_id(events, f);
        const data_t id = data_make(0, text_length(fixed), (void*)fixed);
        uint64_t i = 0;
        while (i < table->count &&
               !bytes_equal(table->records[i].data, table->records[i].size, id.data, id.used))
            ++i;
        report_place_t place{};
        const int found = i < table->count && id_place(list, table, events, i, buffer, &place);
        if (i < table->count && !found)
            place = report_place_t{path_of(list, table->files[i]), 0, 0, 0};
        if (!append_line(out, events, id, i < table->count ? &place : nullptr)) return 0;
    }
    header_prune(table, events);
    return list_places(out, list, table, events, buffer);
}

} // namespace

int id_place(const file_list_t* list, const id_table_t* table, int events, uint64_t index,
             data_t* buffer, report_place_t* place) {
    if (!table->files || index >= table->count) return 0;
    const uint32_t file = table->files[index];
    scan_place_t found{ordinal_in_file(table, index), 0, 0, 0, 0};
    if (!scan_places((const char*)list->paths[file], buffer, events, &found, 1) || found.line == 0)
        return 0;
    *place = report_place_t{path_of(list, file), found.line, found.column, found.character};
    return 1;
}

int list_ids(data_t* out, const file_list_t* list, id_table_t* timelines, id_table_t* events,
             data_t* buffer) {
    return list_kind(out, list, timelines, 0, buffer) && list_kind(out, list, events, 1, buffer);
}
