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

namespace {

// The characters a terminal shows in two columns: Unicode's East Asian Wide
// and Fullwidth blocks and the emoji blocks; and combining marks and
// invisible format characters, shown in none. Only the blocks source text
// commonly holds: a mark of a rarer script counts 1.
struct range_t {
    uint32_t first, last;
};
const range_t WIDE[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F004, 0x1F004},
    {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F2FF},
    {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F9FF},
    {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};
const range_t NONE[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0900, 0x0902}, {0x093C, 0x093C}, {0x0941, 0x0948}, {0x094D, 0x094D}, {0x0E31, 0x0E31},
    {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
    {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0x302A, 0x302D}, {0x3099, 0x309A},
    {0xD7B0, 0xD7FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

int in_ranges(const range_t* ranges, uint32_t count, uint32_t code_point) {
    for (uint32_t i = 0; i < count; ++i)
        if (code_point >= ranges[i].first && code_point <= ranges[i].last) return 1;
    return 0;
}

void count_character(utf8_columns_t* columns, uint32_t width, uint32_t units) {
    columns->display += width;
    columns->characters += units;
}

// Bytes held that make no character count one column each, as gcc counts
// them and as an editor shows each in a replacement character.
void count_held_bytes(utf8_columns_t* columns) {
    count_character(columns, columns->held_count, columns->held_count);
    columns->held_count = 0;
}

} // namespace

uint32_t code_point_width(uint32_t code_point) {
    if (code_point < 0x300) return 1;
    if (in_ranges(NONE, sizeof NONE / sizeof NONE[0], code_point)) return 0;
    return in_ranges(WIDE, sizeof WIDE / sizeof WIDE[0], code_point) ? 2 : 1;
}

void utf8_columns_add(utf8_columns_t* columns, uint8_t byte) {
    if (columns->held_count != 0 && (byte & 0xC0) != 0x80) count_held_bytes(columns);
    if (columns->held_count == 0 && byte < 0x80) {
        if (byte == '\t')
            count_character(columns, 8 - columns->display % 8, 1);
        else
            count_character(columns, 1, 1);
        return;
    }
    columns->held[columns->held_count++] = byte;
    const uint8_t lead = columns->held[0];
    const uint32_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (columns->held_count < length) return;
    uint32_t code_point = 0;
    if (utf8_decode(columns->held, columns->held + length, &code_point) != length) {
        count_held_bytes(columns);
        return;
    }
    count_character(columns, code_point_width(code_point), code_point >= 0x10000 ? 2 : 1);
    columns->held_count = 0;
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
