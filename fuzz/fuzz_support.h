#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Reads fixed-size values off the front of the fuzzer's input.
struct fuzz_input_t {
    const uint8_t* data;
    size_t size;

    template <typename T> T take() {
        T value{};
        size_t n = size < sizeof(T) ? size : sizeof(T);
        std::memcpy(&value, data, n);
        data += n;
        size -= n;
        return value;
    }
};
