// Items are views inside the text, never empty, never holding a comma or
// starting with whitespace; an extension is the tail after the last dot.
#include <cstdlib>
#include <vector>

#include "base/chars.h"
#include "base/dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> text(data, data + size);
    data_t view = data_make(size, size, text.data());
    data_t items[DIR_LIST_ITEMS + 1];
    uint32_t n = list_split(&view, items, DIR_LIST_ITEMS);
    if (n > DIR_LIST_ITEMS) std::abort();
    for (uint32_t i = 0; i < n; ++i) {
        const data_t& item = items[i];
        if (item.used == 0 || item.size != item.used) std::abort();
        if (item.data < text.data() || item.data + item.used > text.data() + size) std::abort();
        if (char_is_space(item.data[0])) std::abort();
        for (uint64_t k = 0; k < item.used; ++k)
            if (item.data[k] == ',') std::abort();
        data_t extension = file_extension(item.data, item.used);
        if (extension.data) {
            if (extension.data[-1] != '.' ||
                extension.data + extension.used != item.data + item.used)
                std::abort();
            for (uint64_t k = 0; k < extension.used; ++k)
                if (extension.data[k] == '.') std::abort();
        } else {
            for (uint64_t k = 0; k < item.used; ++k)
                if (item.data[k] == '.') std::abort();
        }
    }
    return 0;
}
