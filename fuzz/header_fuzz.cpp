// Random id tables into output blocks of every size: never a byte past the
// block, and a header reported complete is the same text as with room.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tests/test_support.h"
#include "tool/header.h"

namespace {

// Ids from the input: identifier bytes from a small alphabet so duplicates
// and the fixed event names occur.
void fill(id_tables_t* tables, const std::vector<std::string>& ids,
          const std::vector<bool>& kinds) {
    for (size_t i = 0; i < ids.size(); ++i) {
        id_table_t* table = kinds[i] ? &tables->events : &tables->timelines;
        if (table->count < ID_TABLE_CAPACITY) tables->add(table, ids[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input_t in{data, size};
    uint32_t block_size = in.take<uint16_t>();
    std::vector<std::string> ids;
    std::vector<bool> kinds;
    static const char* const words[] = {
        "a", "b", "frame", "profiler_collapse", "profiler_not_measured", "x9", "_"};
    while (in.size > 0 && ids.size() < 300) {
        uint8_t byte = in.take<uint8_t>();
        kinds.push_back(byte & 1);
        std::string id = words[(byte >> 1) % 7];
        if (byte & 0x80) id += std::to_string(byte);
        ids.push_back(id);
    }
    id_tables_t roomy;
    fill(&roomy, ids, kinds);
    std::vector<uint8_t> big(1 << 20);
    data_t full = data_make(big.size(), 0, big.data());
    if (!write_header(&full, &roomy.timelines, &roomy.events)) std::abort();

    id_tables_t tight;
    fill(&tight, ids, kinds);
    std::vector<uint8_t> bytes(block_size); // exact size: an overrun is caught
    data_t block = data_make(block_size, 0, bytes.data());
    int complete = write_header(&block, &tight.timelines, &tight.events);
    if (block.used > block_size) std::abort();
    if (complete &&
        (block.used != full.used || std::memcmp(bytes.data(), big.data(), full.used) != 0))
        std::abort();
    if (!complete && block_size >= full.used) std::abort();
    return 0;
}
