#pragma once

#include <stdint.h>

// UTF-16 decoding and UTF-8 encoding of one code point. The error code is
// passed in and out: a routine that finds it non-zero does nothing, so one
// variable carries the first error through several calls.
const uint32_t CODE_POINT_NONE = 0xFFFFFFFF;
const uint32_t CODE_POINT_MAX = 0x10FFFF;

enum utf_error_t {
    UTF_OK = 0,
    UTF_ERROR_NO_UNIT = 1,        // fewer than 2 bytes left
    UTF_ERROR_NO_SECOND_UNIT = 2, // a surrogate with fewer than 4 bytes left
    UTF_ERROR_NO_ROOM = 3,        // the output is shorter than the encoding
    UTF_ERROR_NOT_SCALAR = 4,     // a surrogate or above 0x10FFFF
    UTF_ERROR_BAD_PAIR = 7,       // not a high surrogate followed by a low one
};

// code_point_is_valid returns whether the code point is a Unicode scalar
// value (not a surrogate, at most 0x10FFFF).
int code_point_is_valid(uint32_t code_point);
// utf16_read_unit returns the 16-bit unit at bytes, in the byte order asked.
uint32_t utf16_read_unit(const uint8_t* bytes, int big_endian);
// utf16_decode decodes one code point from [begin, end) and gives the units
// it took (1 or 2).
void utf16_decode(const uint8_t* begin, const uint8_t* end, uint32_t* code_point, uint8_t* units,
                  int big_endian, int32_t* error);
// utf8_encode writes one code point as UTF-8 and gives its byte count; a
// null out_begin asks for the count only.
void utf8_encode(uint8_t* out_begin, uint8_t* out_end, uint32_t code_point, uint8_t* count,
                 int32_t* error);

// utf8_decode returns the length of the well-formed UTF-8 sequence at p,
// which ends before end, and gives its code point; 0 for bytes that are no
// such sequence (overlong forms, surrogates, cut sequences).
uint32_t utf8_decode(const uint8_t* p, const uint8_t* end, uint32_t* code_point);

// The columns of a line as the tools that jump to a place count them, read
// byte by byte so that a line may arrive in pieces. display is the column
// gcc gives by default (-fdiagnostics-column-unit=display): a tab moves to
// the next multiple of 8, a wide East Asian character or emoji takes 2, a
// combining mark 0, any other character or a byte that is not UTF-8 takes
// 1. characters counts UTF-16 units, a tab one: the position in a line of
// Visual Studio's editor, where MSBuild's "file(line,column)" places land.
// Both start at 0 on a new line (a zeroed record); the column of the next
// byte is one more.
struct utf8_columns_t {
    uint64_t display, characters;
    uint8_t held[4]; // a sequence not yet complete
    uint32_t held_count;
};
// utf8_columns_add counts one byte of the line.
void utf8_columns_add(utf8_columns_t* columns, uint8_t byte);
// code_point_width returns the columns gcc's display count gives the code
// point: 0, 1 or 2.
uint32_t code_point_width(uint32_t code_point);

// Whole zero-terminated texts, for the paths the Windows calls take and give.
// utf8_to_utf16 writes the text as UTF-16 units in the machine's order and
// returns the units written before the zero unit, or -1 when the text is
// not well-formed UTF-8 (overlong forms, surrogates and cut sequences
// included) or does not fit.
int32_t utf8_to_utf16(const char* text, uint16_t* out, uint32_t capacity);
// utf16_to_utf8 writes the text as UTF-8 (a unit that is not part of a
// well-formed pair becomes U+FFFD) and returns the bytes written before the
// zero byte, or -1 when they do not fit.
int32_t utf16_to_utf8(const uint16_t* text, char* out, uint32_t capacity);
