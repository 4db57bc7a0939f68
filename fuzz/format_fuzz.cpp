// Every formatter at every capacity: never a byte past the capacity, and a
// cut text is the full text with characters dropped, never a different one.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/format.h"
#include "fuzz/fuzz_support.h"

namespace {

template <typename F> void at_every_capacity(F format) {
    std::vector<uint8_t> wide(4096);
    uint64_t full = format(wide.data(), wide.size());
    if (full > wide.size()) std::abort();
    for (uint64_t capacity = 0; capacity <= full; ++capacity) {
        // Exactly the capacity, on the heap: a byte past it is caught.
        std::vector<uint8_t> buffer(capacity);
        uint64_t n = format(buffer.data(), capacity);
        if (n > capacity) std::abort();
        if (capacity == full && (n != full || std::memcmp(buffer.data(), wide.data(), n) != 0))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input_t in{data, size};
    uint64_t value = in.take<uint64_t>();
    uint64_t width = in.take<uint16_t>() % 300;
    uint8_t pad = in.take<uint8_t>();
    uint32_t flags = in.take<uint32_t>();
    double real = in.take<double>();
    uint32_t decimals = in.take<uint8_t>() % 40;
    at_every_capacity(
        [&](uint8_t* b, uint64_t c) { return format_unsigned(b, c, value, width, pad, flags); });
    at_every_capacity([&](uint8_t* b, uint64_t c) {
        return format_signed(b, c, (int64_t)value, width, pad, flags);
    });
    at_every_capacity([&](uint8_t* b, uint64_t c) {
        return format_fraction(b, c, real, (uint32_t)width, pad, decimals, flags);
    });
    at_every_capacity([&](uint8_t* b, uint64_t c) { return format_byte_size(value, b, c); });
    return 0;
}
