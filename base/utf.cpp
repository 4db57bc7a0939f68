#include "utf.h"

int code_point_is_valid(uint32_t code_point) {
    return code_point < 0xD800 || (code_point > 0xDFFF && code_point <= CODE_POINT_MAX);
}

uint32_t utf16_read_unit(const uint8_t* bytes, int big_endian) {
    return big_endian ? bytes[0] * 256u + bytes[1] : bytes[1] * 256u + bytes[0];
}

void utf16_decode(const uint8_t* begin, const uint8_t* end, uint32_t* code_point, uint8_t* units,
                  int big_endian, int32_t* error) {
    if (*error != UTF_OK) return;
    *code_point = CODE_POINT_NONE;
    *units = 0;
    if (end - begin < 2) {
        *units = 1;
        *error = UTF_ERROR_NO_UNIT;
        return;
    }
    uint32_t first = utf16_read_unit(begin, big_endian);
    if (first < 0xD800 || first > 0xDFFF) {
        *code_point = first;
        *units = 1;
        return;
    }
    if (end - begin < 4) {
        *units = 2;
        *error = UTF_ERROR_NO_SECOND_UNIT;
        return;
    }
    uint32_t second = utf16_read_unit(begin + 2, big_endian);
    *units = 2;
    if (first < 0xDC00 && second >= 0xDC00 && second <= 0xDFFF)
        *code_point = (((first - 0xD800) << 10) | (second - 0xDC00)) + 0x10000;
    else
        *error = UTF_ERROR_BAD_PAIR;
}

void utf8_encode(uint8_t* out_begin, uint8_t* out_end, uint32_t code_point, uint8_t* count,
                 int32_t* error) {
    if (*error != UTF_OK) return;
    *count = 0;
    if (!code_point_is_valid(code_point)) {
        *error = UTF_ERROR_NOT_SCALAR;
        return;
    }
    uint8_t bytes[4];
    uint8_t n;
    const uint32_t cp = code_point;
    if (cp <= 0x7F) {
        bytes[0] = (uint8_t)cp;
        n = 1;
    } else if (cp <= 0x7FF) {
        bytes[0] = (uint8_t)(0xC0 | (cp >> 6 & 0x1F));
        bytes[1] = (uint8_t)(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp <= 0xFFFF) {
        bytes[0] = (uint8_t)(0xE0 | (cp >> 12 & 0x0F));
        bytes[1] = (uint8_t)(0x80 | (cp >> 6 & 0x3F));
        bytes[2] = (uint8_t)(0x80 | (cp & 0x3F));
        n = 3;
    } else {
        bytes[0] = (uint8_t)(0xF0 | (cp >> 18 & 0x07));
        bytes[1] = (uint8_t)(0x80 | (cp >> 12 & 0x3F));
        bytes[2] = (uint8_t)(0x80 | (cp >> 6 & 0x3F));
        bytes[3] = (uint8_t)(0x80 | (cp & 0x3F));
        n = 4;
    }
    *count = n;
    if (!out_begin) return;
    if (out_end - out_begin < n) {
        *error = UTF_ERROR_NO_ROOM;
        return;
    }
    for (uint8_t i = 0; i < n; ++i)
        out_begin[i] = bytes[i];
}
