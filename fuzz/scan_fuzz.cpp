// The fast scanner must store exactly what the seven-literal scan stores.
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/naive_scan.h"
#include "tests/test_support.h"
#include "tool/scan.h"
#include "tool/scan_search.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    id_tables_t tables;
    id_table_t& timelines = tables.timelines;
    id_table_t& events = tables.events;
    // Either search width (the wider only where the processor has it).
    scan_search_width(size && (data[size - 1] & 1) ? SCAN_WIDTH_32 : SCAN_WIDTH_16);
    std::vector<uint8_t> arena_bytes(size + 1);
    data_t arena = data_make(arena_bytes.size(), 0, arena_bytes.data());
    // An exact-size copy, so any read past the text is caught.
    std::vector<uint8_t> text(data, data + size);
    scan_calls(data_make(size, size, text.data()), tables.store(&arena));
    naive_ids_t expected = naive_scan(text.data(), size);
    auto same = [](const id_table_t& table, const std::vector<std::string>& ids) {
        if (table.count != ids.size() || table.lost != 0) return false;
        for (size_t i = 0; i < ids.size(); ++i)
            if (std::string((const char*)table.records[i].data, table.records[i].used) != ids[i])
                return false;
        return true;
    };
    if (!same(timelines, expected.timelines) || !same(events, expected.events)) std::abort();

    // The same text in pieces, as files are read: the same ids again.
    id_tables_t tables2;
    id_table_t& timelines2 = tables2.timelines;
    id_table_t& events2 = tables2.events;
    data_t arena2 = data_make(arena_bytes.size(), 0, arena_bytes.data());
    scan_t scan;
    scan_begin(&scan, tables2.store(&arena2));
    const size_t piece = size ? 1 + data[0] % 64 : 1;
    std::vector<uint8_t> pending;
    for (size_t next = 0;;) {
        size_t take = size - next < piece ? size - next : piece;
        pending.insert(pending.end(), data + next, data + next + take);
        next += take;
        const int last = next == size;
        uint64_t consumed = scan_feed(&scan, pending.data(), pending.size(), last);
        if (consumed > pending.size() || (last && consumed != pending.size()) ||
            pending.size() - consumed > SCAN_KEEP_MAX)
            std::abort();
        if (last) break;
        pending.erase(pending.begin(), pending.begin() + (long)consumed);
    }
    if (!same(timelines2, expected.timelines) || !same(events2, expected.events)) std::abort();
    return 0;
}
