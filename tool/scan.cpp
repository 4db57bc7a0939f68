#include "tool/scan.h"

#include "base/chars.h"
#include "tool/scan_search.h"

data_t call_literal(uint32_t index) {
    const call_literal_t& call = CALL_LITERALS[index];
    return data_make(call.length + 1, call.length, (void*)call.text);
}

namespace {

const uint64_t PREFIX_LENGTH = SEARCH_PREFIX_LENGTH;

// Whether every literal ends at its only "(": then none is the start of
// another, since an identifier holds no "(".
constexpr int calls_end_at_their_only_parenthesis() {
    for (const call_literal_t& call : CALL_LITERALS)
        for (uint64_t i = 0; i < call.length; ++i)
            if ((call.text[i] == '(') != (i + 1 == call.length)) return 0;
    return 1;
}
static_assert(calls_end_at_their_only_parenthesis(), "no literal may start another");

// Index of the call whose literal starts at p (the prefix already matched),
// or CALL_LITERAL_COUNT when none does. No literal starts another, so at
// most one matches.
uint32_t match_call(const uint8_t* p, const uint8_t* end) {
    const uint64_t room = (uint64_t)(end - p);
    for (uint32_t i = 0; i < CALL_LITERAL_COUNT; ++i) {
        const call_literal_t& call = CALL_LITERALS[i];
        if (call.length <= room &&
            bytes_equal(p + PREFIX_LENGTH, call.length - PREFIX_LENGTH, call.text + PREFIX_LENGTH,
                        call.length - PREFIX_LENGTH))
            return i;
    }
    return CALL_LITERAL_COUNT;
}

enum scan_phase_t { SCAN_SEARCH, SCAN_SPACES, SCAN_IDENTIFIER };
enum id_state_t { ID_STORING, ID_TABLE_FULL, ID_NO_ROOM };

void identifier_begin(scan_t* scan, uint64_t offset) {
    scan->phase = SCAN_IDENTIFIER;
    scan->id_offset = offset;
    scan->id_length = 0;
    scan->id_data = nullptr;
    scan->id_mark = data_mark(scan->store.arena);
    scan->id_state = scan->target->count < scan->target->capacity ? ID_STORING : ID_TABLE_FULL;
}

// Copies the next part of the identifier right after the parts before it.
// When the arena cannot hold the whole identifier, the parts already copied
// go back, so the arena ends as if the copy had been tried in one piece.
void identifier_part(scan_t* scan, const uint8_t* part, uint64_t n) {
    if (n == 0) return;
    if (scan->id_state == ID_STORING) {
        uint8_t* copy = data_append(scan->store.arena, part, n, 1);
        if (!copy) {
            data_rewind(scan->store.arena, scan->id_mark);
            scan->id_state = ID_NO_ROOM;
        } else if (!scan->id_data) {
            scan->id_data = copy;
        }
    }
    scan->id_length += n;
}

void identifier_end(scan_t* scan) {
    scan->phase = SCAN_SEARCH;
    if (scan->id_length == 0) return;
    // The places asked for are the ordinal-th ids of their kind, which the
    // tables count, stored or dropped, as they come.
    if (scan->place_next < scan->place_count && scan->target == scan->place_table) {
        scan_place_t* place = &scan->places[scan->place_next];
        if (scan->target->count + scan->target->dropped + scan->target->lost == place->ordinal) {
            place->offset = scan->id_offset;
            scan->place_next += 1;
        }
    }
    // The copy is made as the identifier arrives: none when the table was
    // full at its start, none either when the arena could not hold it.
    id_table_keep(scan->target, scan->id_state == ID_STORING ? scan->id_data : nullptr,
                  scan->id_length);
}

} // namespace

void scan_begin(scan_t* scan, id_store_t store) {
    *scan = scan_t{};
    scan->store = store;
    scan->phase = SCAN_SEARCH;
    scan->id_state = ID_STORING;
}

void scan_find_places(scan_t* scan, id_table_t* table, scan_place_t* places, uint32_t count) {
    scan->place_table = table;
    scan->places = places;
    scan->place_count = count;
}

namespace {

uint64_t feed_piece(scan_t* scan, const uint8_t* bytes, uint64_t n, int last) {
    const uint8_t* cursor = bytes;
    const uint8_t* end = bytes + n;
    // Candidates must start before this offset to be decided within the piece.
    const uint64_t decidable = last ? n : (n > SCAN_KEEP_MAX ? n - SCAN_KEEP_MAX : 0);
    for (;;) {
        if (scan->phase == SCAN_SPACES) {
            while (cursor < end && char_is_space(*cursor))
                ++cursor;
            if (cursor == end && !last) return n;
            identifier_begin(scan, scan->fed + (uint64_t)(cursor - bytes));
        }
        if (scan->phase == SCAN_IDENTIFIER) {
            const uint8_t* start = cursor;
            while (cursor < end && char_is_identifier(*cursor))
                ++cursor;
            identifier_part(scan, start, (uint64_t)(cursor - start));
            if (cursor == end && !last) return n;
            identifier_end(scan);
        }
        // Search: every candidate here starts before bytes + decidable.
        const uint64_t offset = (uint64_t)(cursor - bytes);
        if (offset >= decidable) return last ? n : offset;
        const uint8_t* search_end =
            last ? end : bytes + decidable + PREFIX_LENGTH - 1; // starts < decidable
        const uint8_t* found = search_next(cursor, search_end, end);
        if (found == search_end) return last ? n : decidable;
        uint32_t call = match_call(found, end);
        if (call == CALL_LITERAL_COUNT) {
            // The prefix has no border, so no occurrence can start inside it.
            cursor = found + PREFIX_LENGTH;
            continue;
        }
        cursor = found + CALL_LITERALS[call].length;
        scan->target = call < CALL_FIRST_EVENT ? scan->store.timelines : scan->store.events;
        scan->phase = SCAN_SPACES;
    }
}

} // namespace

uint64_t scan_feed(scan_t* scan, const uint8_t* bytes, uint64_t n, int last) {
    const uint64_t consumed = feed_piece(scan, bytes, n, last);
    scan->fed += consumed;
    return consumed;
}

uint64_t scan_open_identifier(const scan_t* scan) {
    return scan->phase == SCAN_IDENTIFIER ? scan->id_offset : SCAN_NONE_OPEN;
}

void scan_calls(data_t text, id_store_t store) {
    if (!text.data) return;
    scan_t scan;
    scan_begin(&scan, store);
    scan_feed(&scan, text.data, text.used, 1);
}
