#include "base/utf.h"

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

uint32_t utf8_decode(const uint8_t* p, const uint8_t* end, uint32_t* code_point) {
    if (p >= end) return 0;
    uint32_t cp = *p, extra = 0, least = 0;
    if (cp >= 0xF0 && cp <= 0xF4) {
        cp &= 0x07, extra = 3, least = 0x10000;
    } else if (cp >= 0xE0 && cp <= 0xEF) {
        cp &= 0x0F, extra = 2, least = 0x800;
    } else if (cp >= 0xC2 && cp <= 0xDF) {
        cp &= 0x1F, extra = 1, least = 0x80;
    } else if (cp >= 0x80) {
        return 0; // a continuation byte first, or a lead byte no character has
    }
    for (uint32_t i = 1; i <= extra; ++i) {
        if (p + i >= end || (p[i] & 0xC0) != 0x80) return 0; // also stops at a zero byte
        cp = cp << 6 | (p[i] & 0x3Fu);
    }
    if (cp < least || !code_point_is_valid(cp)) return 0;
    *code_point = cp;
    return extra + 1;
}

int32_t utf8_to_utf16(const char* text, uint16_t* out, uint32_t capacity) {
    const uint8_t* p = (const uint8_t*)text;
    uint32_t n = 0;
    while (*p != 0) {
        uint32_t cp = 0;
        // A sequence ends at the zero byte at the latest: no byte after it is read.
        const uint32_t length = utf8_decode(p, p + 4, &cp);
        if (length == 0) return -1;
        p += length;
        const uint32_t units = cp >= 0x10000 ? 2 : 1;
        if (n + units + 1 > capacity) return -1;
        if (units == 2) {
            out[n++] = (uint16_t)(0xD800 + ((cp - 0x10000) >> 10));
            out[n++] = (uint16_t)(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out[n++] = (uint16_t)cp;
        }
    }
    if (n + 1 > capacity) return -1;
    out[n] = 0;
    return (int32_t)n;
}

int32_t utf16_to_utf8(const uint16_t* text, char* out, uint32_t capacity) {
    uint32_t n = 0;
    for (const uint16_t* p = text; *p != 0;) {
        uint32_t cp = *p++;
        if (cp >= 0xD800 && cp <= 0xDBFF && *p >= 0xDC00 && *p <= 0xDFFF)
            cp = (((cp - 0xD800) << 10) | (*p++ - 0xDC00u)) + 0x10000;
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        uint8_t count = 0;
        int32_t error = UTF_OK;
        utf8_encode((uint8_t*)out + n, (uint8_t*)out + (capacity ? capacity - 1 : 0), cp, &count,
                    &error);
        if (error != UTF_OK || capacity == 0) return -1;
        n += count;
    }
    if (n + 1 > capacity) return -1;
    out[n] = 0;
    return (int32_t)n;
}
