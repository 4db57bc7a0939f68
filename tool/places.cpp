#include "tool/places.h"

#include "tool/header.h"
#include "tool/scan_files.h"

namespace {

// Places found in one read of a file, at most.
const uint32_t PLACES_PER_READ = 256;

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
    if (place) {
        fitted = fitted && data_append_bytes(out, "  ", 2);
        if (place->line != 0)
            fitted = fitted && report_place(out, *place);
        else
            fitted = fitted && data_append_data(out, &place->path, 1);
    }
    return fitted && data_append_byte(out, '\n');
}

// The lines of the records [from, to) of one file, after one read of it.
int append_file_lines(data_t* out, const file_list_t* list, const id_table_t* table, int events,
                      const uint64_t* indexes, uint32_t count, data_t* buffer) {
    scan_place_t places[PLACES_PER_READ];
    for (uint32_t i = 0; i < count; ++i)
        places[i] = scan_place_t{ordinal_in_file(table, indexes[i]), 0, 0, 0};
    const uint32_t file = table->files[indexes[0]];
    scan_places((const char*)list->paths[file], buffer, events, places, count);
    for (uint32_t i = 0; i < count; ++i) {
        const report_place_t place{path_of(list, file), places[i].line, places[i].column};
        if (!append_line(out, events, table->records[indexes[i]], &place)) return 0;
    }
    return 1;
}

int list_kind(data_t* out, const file_list_t* list, id_table_t* table, int events, data_t* buffer) {
    // A table without ids declares nothing, not even the fixed ids.
    if (table->count == 0) return 1;
    // The fixed ids come first; where the sources use one too, the first
    // use is its place. Found first, before pruning takes them out.
    for (uint32_t f = 0; f < header_fixed_count(events); ++f) {
        const char* fixed = header_fixed_id(events, f);
        const data_t id = data_make(0, text_length(fixed), (void*)fixed);
        uint64_t i = 0;
        while (i < table->count && !data_equal(&table->records[i], &id))
            ++i;
        report_place_t place{};
        const int found = i < table->count && id_place(list, table, events, i, buffer, &place);
        if (i < table->count && !found)
            place = report_place_t{path_of(list, table->files[i]), 0, 0};
        if (!append_line(out, events, id, i < table->count ? &place : nullptr)) return 0;
    }
    header_prune(table, events);
    uint64_t batch[PLACES_PER_READ];
    uint32_t count = 0;
    for (uint64_t i = 0; i < table->count; ++i) {
        if (table->records[i].used == 0) continue;
        if (count == PLACES_PER_READ || (count != 0 && table->files[batch[0]] != table->files[i])) {
            if (!append_file_lines(out, list, table, events, batch, count, buffer)) return 0;
            count = 0;
        }
        batch[count++] = i;
    }
    return count == 0 || append_file_lines(out, list, table, events, batch, count, buffer);
}

} // namespace

int id_place(const file_list_t* list, const id_table_t* table, int events, uint64_t index,
             data_t* buffer, report_place_t* place) {
    if (!table->files || index >= table->count) return 0;
    const uint32_t file = table->files[index];
    scan_place_t found{ordinal_in_file(table, index), 0, 0, 0};
    if (!scan_places((const char*)list->paths[file], buffer, events, &found, 1) || found.line == 0)
        return 0;
    *place = report_place_t{path_of(list, file), found.line, found.column};
    return 1;
}

int list_ids(data_t* out, const file_list_t* list, id_table_t* timelines, id_table_t* events,
             data_t* buffer) {
    return list_kind(out, list, timelines, 0, buffer) && list_kind(out, list, events, 1, buffer);
}
