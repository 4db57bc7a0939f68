// Any UTF-16 text, well-formed or not: the split either fails cleanly or
// yields terminated arguments that all lie inside its buffer (an empty one
// only where the text quoted nothing: "").
#include <cstdlib>
#include <vector>

#include "base/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint16_t> text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        uint16_t unit = (uint16_t)(data[i] | data[i + 1] << 8);
        if (unit == 0) break;
        text.push_back(unit);
    }
    text.push_back(0);
    int32_t count = -1;
    command_line_result_t result;
    char** array = command_line_split_text(text.data(), &count, &result);
    if (!array) {
        if (result == COMMAND_LINE_OK || count != 0) std::abort();
        return 0;
    }
    if (result != COMMAND_LINE_OK || count < 0) std::abort();
    const char* buffer_end = (const char*)array;
    for (int32_t i = 0; i < count; ++i) {
        const char* arg = array[i];
        if (arg >= buffer_end) std::abort();
        const char* p = arg;
        while (p < buffer_end && *p)
            ++p;
        if (p == buffer_end) std::abort(); // not terminated inside the text
    }
    return 0;
}
