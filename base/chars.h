#pragma once

#include <stdint.h>

// Byte classes: plain ASCII, no locale, no UTF-8. Bytes 0x80 to 0xFF belong
// to no class. Each takes the byte zero-extended.
inline int char_is_upper(uint32_t c) { return c >= 'A' && c <= 'Z'; }
inline int char_is_lower(uint32_t c) { return c >= 'a' && c <= 'z'; }
inline int char_is_letter(uint32_t c) { return char_is_upper(c) || char_is_lower(c); }
inline int char_is_digit(uint32_t c) { return c >= '0' && c <= '9'; }
inline int char_is_alnum(uint32_t c) { return char_is_digit(c) || char_is_letter(c); }
inline int char_is_identifier(uint32_t c) { return c == '_' || char_is_alnum(c); }
inline int char_is_space(uint32_t c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }
