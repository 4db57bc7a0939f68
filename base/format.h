#pragma once

#include "base/data.h"

// Bounded number formatting: text goes straight into the caller's buffer,
// never past its capacity, with no terminating zero. Results count the
// characters written. When the room runs short, the least significant
// digits are the ones kept.
const uint32_t FORMAT_HEX = 0x1;
const uint32_t FORMAT_NO_PREFIX = 0x2;
const uint32_t FORMAT_GROUP_2 = 0x8;
const uint32_t FORMAT_GROUP_4 = 0x10;
const uint32_t FORMAT_GROUP_8 = 0x20;
const uint32_t FORMAT_MIN_DIGITS_2 = 0x80;
const uint32_t FORMAT_MIN_DIGITS_4 = 0x100;
const uint32_t FORMAT_MIN_DIGITS_8 = 0x200;
const uint32_t FORMAT_MIN_DIGITS_16 = 0x400;
const uint32_t FORMAT_PAD_AFTER = 0x800;
const uint32_t FORMAT_PLUS = 0x1000;
const uint32_t FORMAT_SIGN_FIRST = 0x2000;
const uint32_t FORMAT_GROUP_3 = 0x4000;

uint64_t format_unsigned(uint8_t* buffer, uint64_t capacity, uint64_t value, uint64_t width,
                         uint8_t pad, uint32_t flags);
uint64_t format_signed(uint8_t* buffer, uint64_t capacity, int64_t value, uint64_t width,
                       uint8_t pad, uint32_t flags);
// Formats into the spare room of a block and advances its used.
uint64_t data_append_unsigned(data_t* block, uint64_t value, uint64_t width, uint8_t pad,
                              uint32_t flags);

// Kept for completeness of the base library and tested, though the tool
// itself does not call them: do not remove them as unused.
// Fixed decimals, truncated, never rounded; width applies to the integer part.
uint64_t format_fraction(uint8_t* buffer, uint64_t capacity, double value, uint32_t width,
                         uint8_t pad, uint32_t decimals, uint32_t flags);
// "1023 o", "1.500 Kio", ... "16777216.000 Tio".
uint64_t format_byte_size(uint64_t value, uint8_t* buffer, uint64_t capacity);
data_t data_push_byte_size(uint64_t value, data_t* arena);
