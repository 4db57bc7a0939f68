// The fast scanner must store exactly what the seven-literal scan stores.
#include <cstdlib>
#include <string>
#include <vector>

#include "naive_scan.h"
#include "tool/scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<data_t> t(ID_TABLE_CAPACITY), e(ID_TABLE_CAPACITY);
    id_table_t timelines{t.data(), 0, 0, 0}, events{e.data(), 0, 0, 0};
    std::vector<uint8_t> arena_bytes(size + 1);
    data_t arena = data_make(arena_bytes.size(), 0, arena_bytes.data());
    // An exact-size copy, so any read past the text is caught.
    std::vector<uint8_t> text(data, data + size);
    scan_calls(data_make(size, size, text.data()), &arena, &timelines, &events);
    naive_ids_t expected = naive_scan(text.data(), size);
    auto same = [](const id_table_t& table, const std::vector<std::string>& ids) {
        if (table.count != ids.size() || table.lost != 0) return false;
        for (size_t i = 0; i < ids.size(); ++i)
            if (std::string((const char*)table.records[i].data, table.records[i].used) != ids[i])
                return false;
        return true;
    };
    if (!same(timelines, expected.timelines) || !same(events, expected.events)) std::abort();
    return 0;
}
