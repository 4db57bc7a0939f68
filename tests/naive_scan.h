#pragma once

// The seven-literal scan exactly as first designed: search each literal in
// turn before the earliest occurrence found so far. It is the reference the
// fast scanner must agree with on every input.

#include <string>
#include <vector>

#include "base/chars.h"
#include "base/data.h"
#include "tool/scan.h"

struct naive_ids_t {
    std::vector<std::string> timelines, events;
};

inline naive_ids_t naive_scan(const uint8_t* data, uint64_t used) {
    naive_ids_t ids;
    if (!data) return ids;
    const uint8_t* cursor = data;
    const uint8_t* end = data + used;
    while (cursor < end) {
        const uint8_t* best = end;
        uint32_t best_index = 0;
        for (uint32_t i = 0; i < CALL_LITERAL_COUNT; ++i) {
            data_t literal = call_literal(i);
            const uint8_t* p = string_find(cursor, best, literal.data, literal.used);
            if (p < best) {
                best = p;
                best_index = i;
            }
        }
        cursor = best;
        if (cursor == end) break;
        cursor += call_literal(best_index).used;
        while (cursor < end && char_is_space(*cursor))
            ++cursor;
        const uint8_t* start = cursor;
        while (cursor < end && char_is_identifier(*cursor))
            ++cursor;
        if (cursor == start) continue;
        std::string id((const char*)start, (size_t)(cursor - start));
        auto& table = best_index < CALL_FIRST_EVENT ? ids.timelines : ids.events;
        if (table.size() < ID_TABLE_CAPACITY) table.push_back(id);
    }
    return ids;
}
