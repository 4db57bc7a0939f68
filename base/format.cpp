#include "base/format.h"

namespace {

// Writes characters under the room rules: anything but a digit goes in while
// there is room; a digit only when the digits still to come fit as well, so
// a short buffer loses the most significant digits.
struct writer_t {
    uint8_t* buffer;
    uint64_t capacity;
    uint64_t written;

    void put(uint8_t c) {
        if (written < capacity) buffer[written++] = c;
    }
    void put_digit(uint8_t c, uint64_t remaining_digits) {
        if (capacity - written >= remaining_digits) buffer[written++] = c;
    }
};

// The digit positions a field shows: the digits, or more with a hex
// minimum (leading zeros).
uint64_t positions_of(uint64_t digits, int hex, uint32_t flags) {
    uint64_t positions = digits;
    if (!hex) return positions;
    if (flags & FORMAT_MIN_DIGITS_2)
        positions = 2;
    else if (flags & FORMAT_MIN_DIGITS_4)
        positions = 4;
    else if (flags & FORMAT_MIN_DIGITS_8)
        positions = 8;
    else if (flags & FORMAT_MIN_DIGITS_16)
        positions = 16;
    return positions < digits ? digits : positions;
}

// The blanks the width counts: those of the base's own grouping only.
uint64_t counted_blanks(uint64_t digits, uint64_t positions, int hex, uint32_t flags) {
    if (hex) {
        if (flags & FORMAT_GROUP_2) return (positions - 1) / 2;
        if (flags & FORMAT_GROUP_4) return (positions - 1) / 4;
        if (flags & FORMAT_GROUP_8) return (positions - 1) / 8;
        return 0;
    }
    return (flags & FORMAT_GROUP_3) ? (digits - 1) / 3 : 0;
}

// Whether a blank stands between digit positions k + 1 and k: every
// grouping bit set counts here, in either base.
int blank_after(uint64_t k, uint32_t flags) {
    return k >= 1 &&
           (((flags & FORMAT_GROUP_2) && k % 2 == 0) || ((flags & FORMAT_GROUP_4) && k % 4 == 0) ||
            ((flags & FORMAT_GROUP_8) && k % 8 == 0) || ((flags & FORMAT_GROUP_3) && k % 3 == 0));
}

uint64_t format_magnitude(uint8_t* buffer, uint64_t capacity, uint64_t magnitude, int negative,
                          uint64_t width, uint8_t pad, uint32_t flags) {
    if (capacity == 0) return 0;
    const int hex = (flags & FORMAT_HEX) != 0;
    const uint64_t base = hex ? 16 : 10;
    const int prefix = hex && !(flags & FORMAT_NO_PREFIX);
    uint8_t sign = negative ? '-' : (flags & FORMAT_PLUS) ? '+' : 0;

    // Measure, then write. Digits go least significant first into scratch.
    uint8_t scratch[64];
    uint64_t digits = 0;
    for (uint64_t v = magnitude; digits == 0 || v != 0; v /= base) {
        const uint64_t d = v % base;
        scratch[digits++] = (uint8_t)(d < 10 ? '0' + d : 'a' + d - 10);
    }
    const uint64_t positions = positions_of(digits, hex, flags);
    const uint64_t extra =
        (sign ? 1 : 0) + (prefix ? 2 : 0) + counted_blanks(digits, positions, hex, flags);
    const uint64_t fill = width > extra + positions ? width - (extra + positions) : 0;

    writer_t out{buffer, capacity, 0};
    if ((flags & FORMAT_SIGN_FIRST) && sign) out.put(sign);
    if (!(flags & FORMAT_PAD_AFTER))
        for (uint64_t i = 0; i < fill; ++i)
            out.put(pad);
    if (!(flags & FORMAT_SIGN_FIRST) && sign) out.put(sign);
    if (prefix) {
        out.put('0');
        out.put('x');
    }
    for (uint64_t position = positions; position >= 1; --position) {
        if (position > digits)
            out.put('0');
        else
            out.put_digit(scratch[position - 1], position);
        if (blank_after(position - 1, flags)) out.put(' ');
    }
    if (flags & FORMAT_PAD_AFTER)
        for (uint64_t i = 0; i < fill; ++i)
            out.put(pad);
    return out.written;
}

} // namespace

uint64_t format_unsigned(uint8_t* buffer, uint64_t capacity, uint64_t value, uint64_t width,
                         uint8_t pad, uint32_t flags) {
    return format_magnitude(buffer, capacity, value, 0, width, pad, flags);
}

uint64_t format_signed(uint8_t* buffer, uint64_t capacity, int64_t value, uint64_t width,
                       uint8_t pad, uint32_t flags) {
    uint64_t magnitude = value < 0 ? 0 - (uint64_t)value : (uint64_t)value;
    return format_magnitude(buffer, capacity, magnitude, value < 0, width, pad, flags);
}

uint64_t data_append_unsigned(data_t* block, uint64_t value, uint64_t width, uint8_t pad,
                              uint32_t flags) {
    uint64_t n =
        format_unsigned(data_end(block), block->size - block->used, value, width, pad, flags);
    block->used += n;
    return n;
}

namespace {

// Writes a fixed text under the room rule for non-digits.
uint64_t put_text(uint8_t* buffer, uint64_t capacity, const char* text) {
    uint64_t n = 0;
    for (; text[n] && n < capacity; ++n)
        buffer[n] = (uint8_t)text[n];
    return n;
}

} // namespace

uint64_t format_fraction(uint8_t* buffer, uint64_t capacity, double value, uint32_t width,
                         uint8_t pad, uint32_t decimals, uint32_t flags) {
    // Outside the range of a 64-bit integer part there is no exact text to
    // give; say what the value is instead of converting out of range.
    if (value != value) return put_text(buffer, capacity, "nan");
    if (value >= 9223372036854775808.0) return put_text(buffer, capacity, "inf");
    if (value <= -9223372036854775808.0) return put_text(buffer, capacity, "-inf");

    int64_t integer = (int64_t)value;
    const int negative = value < 0;
    uint64_t written;
    if (negative && integer == 0) {
        // Between -1 and 0: the sign still shows, as for any negative number.
        written = format_magnitude(buffer, capacity, 0, 1, (flags & FORMAT_PAD_AFTER) ? 0 : width,
                                   pad, flags & ~FORMAT_PAD_AFTER);
    } else if (!(flags & FORMAT_PAD_AFTER)) {
        written = format_signed(buffer, capacity, integer, width, pad, flags);
    } else {
        written = format_signed(buffer, capacity, integer, 0, 0, flags & ~FORMAT_PAD_AFTER);
    }
    const uint64_t integer_written = written;

    double magnitude = negative ? -value : value;
    if (decimals > 0 && written < capacity) buffer[written++] = '.';
    double f = magnitude - (double)(uint64_t)magnitude;
    for (uint32_t i = 0; i < decimals; ++i) {
        f *= 10;
        if (f < 1 && written < capacity) buffer[written++] = '0';
    }
    // f can reach 2^64 and beyond with many decimals: keep the conversion
    // in range.
    uint64_t d = f >= 18446744073709551615.0 ? UINT64_MAX : (uint64_t)f;
    if (d > 0) written += format_unsigned(buffer + written, capacity - written, d, 0, 0, 0);

    if ((flags & FORMAT_PAD_AFTER) && width > integer_written)
        for (uint64_t i = integer_written; i < width && written < capacity; ++i)
            buffer[written++] = pad;
    return written;
}

uint64_t format_byte_size(uint64_t value, uint8_t* buffer, uint64_t capacity) {
    data_t out = data_make(capacity, 0, buffer);
    data_t unit;
    if (value < 1024) {
        out.used = format_unsigned(buffer, capacity, value, 0, 0, 0);
        unit = DATA_LITERAL("o");
    } else {
        double x;
        if (value >= (1ull << 40)) {
            unit = DATA_LITERAL("Tio");
            x = (double)value / (double)(1ull << 40);
        } else if (value >= (1ull << 30)) {
            unit = DATA_LITERAL("Gio");
            x = (double)value / (double)(1ull << 30);
        } else if (value >= (1ull << 20)) {
            unit = DATA_LITERAL("Mio");
            x = (double)value / (double)(1ull << 20);
        } else {
            unit = DATA_LITERAL("Kio");
            x = (double)value / 1024.0;
        }
        out.used = format_fraction(buffer, capacity, x, 0, 0, 3, 0);
    }
    data_t separator = DATA_LITERAL(" ");
    data_append_data(&out, &separator, 1);
    data_append_data(&out, &unit, 1);
    return out.used;
}

data_t data_push_byte_size(uint64_t value, data_t* arena) {
    const data_mark_t mark = data_mark(arena);
    data_t sub = data_push_block(arena, 16, 1);
    uint64_t n = format_byte_size(value, sub.data, sub.size);
    if (!sub.data) return data_t{0, 0, nullptr};
    // Only the text stays pushed.
    data_rewind(arena, mark);
    data_push(arena, n, 1);
    return data_t{n, n, sub.data};
}
