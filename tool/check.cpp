#include "tool/check.h"

#include "tool/header.h"

namespace {

// Ids named at most, of those added and of those removed; then a count.
const uint32_t NAMED = 5;

struct enumerated_t {
    data_t id;
    uint32_t events;
};

// The ids declared between "{" and the count of each enumeration, fixed
// ones left out (every header has them). Returns how many were stored, or
// -1 when scratch could not hold them.
int64_t enumerated(const data_t& text, data_t* scratch, enumerated_t** out) {
    *out = nullptr;
    int64_t n = 0;
    const uint8_t* end = text.data + text.used;
    for (const uint8_t* line = text.data; line < end;) {
        const uint8_t* stop = line;
        while (stop < end && *stop != '\n')
            ++stop;
        // A header checked out with CRLF line ends (git's autocrlf) reads the same.
        const uint64_t size = (uint64_t)(stop - line) - (stop > line && stop[-1] == '\r');
        for (uint32_t events = 0; events < 2; ++events) {
            const char* prefix = header_enumerator_prefix((int)events);
            const uint64_t indent = 4, length = text_length(prefix);
            if (size <= indent + length + 1 || line[size - 1] != ',' ||
                !bytes_equal(line, indent, "    ", indent) ||
                !bytes_equal(line + indent, length, prefix, length))
                continue;
            const data_t id =
                data_make(0, size - indent - length - 1, (void*)(line + indent + length));
            int fixed = 0;
            for (uint32_t f = 0; f < header_fixed_count((int)events); ++f) {
                const char* name = header_fixed_id((int)events, f);
                fixed |= bytes_equal(id.data, id.used, name, text_length(name));
            }
            if (fixed) continue;
            enumerated_t* e = (enumerated_t*)data_push(scratch, sizeof(enumerated_t), 8);
            if (!e) return -1;
            if (n == 0) *out = e; // the pushes are contiguous: all aligned alike
            *e = enumerated_t{id, events};
            ++n;
        }
        line = stop + 1;
    }
    return n;
}

uint64_t hash_of(const enumerated_t& e) {
    // Of the name alone: an id in both tables is told apart by set_has.
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (uint64_t b = 0; b < e.id.used; ++b)
        hash = (hash ^ e.id.data[b]) * 1099511628211ull;
    return hash;
}

// A set of the ids of one list, to look those of the other up in.
struct id_set_t {
    uint32_t* slots; // index + 1 of an entry; 0 for an empty slot
    uint64_t mask;
    const enumerated_t* entries;
};

int set_make(id_set_t* set, const enumerated_t* entries, int64_t n, data_t* scratch) {
    uint64_t slots = 1;
    while (slots < 2 * (uint64_t)n)
        slots *= 2;
    set->slots = (uint32_t*)data_push(scratch, slots * sizeof(uint32_t), 8);
    if (!set->slots) return 0;
    set->mask = slots - 1;
    set->entries = entries;
    for (uint64_t s = 0; s < slots; ++s)
        set->slots[s] = 0;
    for (int64_t i = 0; i < n; ++i) {
        uint64_t s = hash_of(entries[i]) & set->mask;
        while (set->slots[s] != 0)
            s = (s + 1) & set->mask;
        set->slots[s] = (uint32_t)(i + 1);
    }
    return 1;
}

int set_has(const id_set_t& set, const enumerated_t& e) {
    for (uint64_t s = hash_of(e) & set.mask; set.slots[s] != 0; s = (s + 1) & set.mask) {
        const enumerated_t& other = set.entries[set.slots[s] - 1];
        if (other.events == e.events && data_equal(&other.id, &e.id)) return 1;
    }
    return 0;
}

// Adds "N ids <what> (event a, timeline b, and 3 more)" for the missing
// entries the other set lacks.
void say_missing(message_t* m, const enumerated_t* entries, int64_t n, const id_set_t& other,
                 uint64_t missing, const char* what) {
    m->add(missing);
    m->add(missing == 1 ? " id " : " ids ");
    m->add(what);
    m->add(" (");
    uint64_t named = 0;
    for (int64_t i = 0; i < n && named < NAMED; ++i) {
        if (set_has(other, entries[i])) continue;
        if (named++ != 0) m->add(", ");
        m->add(entries[i].events ? "event " : "timeline ");
        m->escaped(entries[i].id);
    }
    if (missing > NAMED) {
        m->add(", and ");
        m->add(missing - NAMED);
        m->add(" more");
    }
    m->add(")");
}

} // namespace

void check_describe(message_t* m, const data_t& old_text, const data_t& new_text, data_t scratch) {
    enumerated_t *old_ids, *new_ids;
    const int64_t old_n = enumerated(old_text, &scratch, &old_ids);
    if (old_n < 0) return;
    const int64_t new_n = enumerated(new_text, &scratch, &new_ids);
    if (new_n < 0) return;
    id_set_t old_set, new_set;
    if (!set_make(&old_set, old_ids, old_n, &scratch) ||
        !set_make(&new_set, new_ids, new_n, &scratch))
        return;
    uint64_t added = 0, removed = 0;
    for (int64_t i = 0; i < new_n; ++i)
        added += !set_has(old_set, new_ids[i]);
    for (int64_t i = 0; i < old_n; ++i)
        removed += !set_has(new_set, old_ids[i]);
    m->add(": ");
    if (added != 0) say_missing(m, new_ids, new_n, old_set, added, "added");
    if (added != 0 && removed != 0) m->add(", ");
    if (removed != 0) say_missing(m, old_ids, old_n, new_set, removed, "removed");
    if (added != 0 || removed != 0) return;
    int same_order = old_n == new_n;
    for (int64_t i = 0; same_order && i < old_n; ++i)
        same_order =
            old_ids[i].events == new_ids[i].events && data_equal(&old_ids[i].id, &new_ids[i].id);
    m->add(same_order ? "the same ids, other text" : "the same ids in another order");
}
