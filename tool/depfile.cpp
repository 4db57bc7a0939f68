#include "tool/depfile.h"

namespace {

// Appends pieces and remembers whether any of them did not fit.
struct depfile_out_t {
    data_t* block;
    int complete;

    void bytes(const void* text, uint64_t n) {
        if (!data_append(block, text, n, 1)) complete = 0;
    }
    void path(const uint8_t* text, uint64_t n) {
        for (uint64_t i = 0; i < n; ++i) {
            const uint8_t c = text[i];
            if (c == ' ' || c == '#') bytes("\\", 1);
            if (c == '$') bytes("$", 1);
            bytes(&c, 1);
        }
    }
    void path(const uint8_t* text) { path(text, text_length(text)); }
};

// Calls each(path) for every listed file, then every searched folder.
template <typename each_t> void for_each_path(const file_list_t& list, each_t each) {
    for (uint32_t i = 0; i < list.count; ++i)
        if (list.paths[i]) each(list.paths[i]);
    for (uint32_t i = 0; i < list.folder_count; ++i)
        each(list.folders[i]);
}

} // namespace

int depfile_write(data_t* block, const data_t& target, const file_list_t& list) {
    depfile_out_t out{block, 1};
    out.path(target.data, target.used);
    out.bytes(":", 1);
    for_each_path(list, [&](const uint8_t* path) {
        out.bytes(" \\\n  ", 5);
        out.path(path);
    });
    out.bytes("\n", 1);
    for_each_path(list, [&](const uint8_t* path) {
        out.bytes("\n", 1);
        out.path(path);
        out.bytes(":\n", 2);
    });
    return out.complete;
}
