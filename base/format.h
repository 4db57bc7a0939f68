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

// format_unsigned writes the value in the flags' base with its padding,
// sign, prefix and groups, and returns the characters written;
// format_signed does so for a signed value ("-" and its magnitude in either
// base).
uint64_t format_unsigned(uint8_t* buffer, uint64_t capacity, uint64_t value, uint64_t width,
                         uint8_t pad, uint32_t flags);
uint64_t format_signed(uint8_t* buffer, uint64_t capacity, int64_t value, uint64_t width,
                       uint8_t pad, uint32_t flags);
// data_append_unsigned formats into the spare room of a block, advances its
// used and returns the characters written.
uint64_t data_append_unsigned(data_t* block, uint64_t value, uint64_t width, uint8_t pad,
                              uint32_t flags);

// format_fraction writes a double with fixed decimals, truncated, never
// rounded (the width applies to the integer part), and returns the
// characters written.
uint64_t format_fraction(uint8_t* buffer, uint64_t capacity, double value, uint32_t width,
                         uint8_t pad, uint32_t decimals, uint32_t flags);
// format_byte_size writes a byte count ("1023 o", "1.500 Kio", ...
// "16777216.000 Tio") and returns the characters written;
// data_push_byte_size pushes the same text into an arena and returns it.
uint64_t format_byte_size(uint64_t value, uint8_t* buffer, uint64_t capacity);
data_t data_push_byte_size(uint64_t value, data_t* arena);
