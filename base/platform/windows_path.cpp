#include "base/platform/windows_path.h"

namespace {

int is_separator(uint16_t c) { return c == '\\' || c == '/'; }
int is_letter(uint16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int starts_with(const uint16_t* text, const char* prefix) {
    for (; *prefix != 0; ++text, ++prefix)
        if (*text != (uint16_t)*prefix) return 0;
    return 1;
}

uint32_t length_of(const uint16_t* text) {
    uint32_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

// Appends units to a bounded text; remembers when they did not fit.
struct out_t {
    uint16_t* text;
    uint32_t capacity, length;
    int fits;

    void add(uint16_t unit) {
        if (length + 1 < capacity)
            text[length++] = unit;
        else
            fits = 0;
    }
    void add(const uint16_t* units, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i)
            add(units[i]);
    }
    int32_t end() {
        if (capacity == 0) return -1;
        text[length < capacity ? length : capacity - 1] = 0;
        return fits ? (int32_t)length : -1;
    }
};

// Units of the root of a full path, which ".." never climbs above:
// "C:\", or "\\server\share".
uint32_t root_length(const uint16_t* full) {
    if (is_letter(full[0]) && full[1] == ':') return 3;
    uint32_t at = 2, separators = 0;
    for (; full[at] != 0; ++at)
        if (is_separator(full[at]) && ++separators == 2) break;
    return at;
}

// Appends the names of rest to out, resolving "." and "..".
void add_names(out_t* out, uint32_t root, const uint16_t* rest) {
    while (*rest != 0) {
        while (is_separator(*rest))
            ++rest;
        const uint16_t* name = rest;
        while (*rest != 0 && !is_separator(*rest))
            ++rest;
        const uint32_t n = (uint32_t)(rest - name);
        if (n == 0 || (n == 1 && name[0] == '.')) continue;
        if (n == 2 && name[0] == '.' && name[1] == '.') {
            while (out->length > root && out->text[out->length - 1] != '\\')
                --out->length;
            if (out->length > root) --out->length; // the separator before the name
            continue;
        }
        if (out->length > 0 && out->text[out->length - 1] != '\\') out->add('\\');
        out->add(name, n);
    }
}

// Copies a full path's root with '\' for every separator.
void add_root(out_t* out, const uint16_t* full, uint32_t root) {
    for (uint32_t i = 0; i < root; ++i)
        out->add(is_separator(full[i]) ? (uint16_t)'\\' : full[i]);
}

} // namespace

windows_anchor_t windows_path_anchor(const uint16_t* path) {
    if (is_letter(path[0]) && path[1] == ':')
        return is_separator(path[2]) ? WINDOWS_FULL : WINDOWS_DRIVE;
    if (is_separator(path[0])) return is_separator(path[1]) ? WINDOWS_FULL : WINDOWS_ROOTED;
    return WINDOWS_RELATIVE;
}

int32_t windows_path_full(const uint16_t* path, const uint16_t* base, uint16_t* out,
                          uint32_t capacity) {
    out_t o{out, capacity, 0, 1};
    // The extended and device forms are taken as they are, by the OS too.
    if (starts_with(path, "\\\\?\\") || starts_with(path, "\\\\.\\")) {
        o.add(path, length_of(path));
        return o.end();
    }
    const windows_anchor_t anchor = windows_path_anchor(path);
    const uint16_t* full = anchor == WINDOWS_FULL ? path : base;
    const uint32_t root = root_length(full);
    add_root(&o, full, root);
    if (anchor != WINDOWS_FULL) add_names(&o, root, base + root);
    const uint16_t* rest = anchor == WINDOWS_FULL    ? path + root
                           : anchor == WINDOWS_DRIVE ? path + 2
                                                     : path;
    // A rooted path starts again from the root.
    if (anchor == WINDOWS_ROOTED) o.length = root;
    add_names(&o, root, rest);
    return o.end();
}

int windows_path_needs_extended(const uint16_t* full, uint32_t length) {
    if (starts_with(full, "\\\\?\\") || starts_with(full, "\\\\.\\")) return 0;
    if (length >= WINDOWS_CLASSIC_LIMIT) return 1;
    // "." and ".." are resolved in a full path: a dot that ends a name is
    // the name's own.
    for (uint32_t i = 0; i < length; ++i)
        if ((full[i] == '.' || full[i] == ' ') && (i + 1 == length || is_separator(full[i + 1])))
            return 1;
    return 0;
}

int32_t windows_path_extended(const uint16_t* full, uint16_t* out, uint32_t capacity) {
    out_t o{out, capacity, 0, 1};
    const uint32_t n = length_of(full);
    if (starts_with(full, "\\\\?\\") || starts_with(full, "\\\\.\\")) {
        o.add(full, n);
    } else if (is_separator(full[0]) && is_separator(full[1])) {
        const uint16_t unc[] = {'\\', '\\', '?', '\\', 'U', 'N', 'C', '\\'};
        o.add(unc, 8);
        o.add(full + 2, n - 2);
    } else {
        const uint16_t prefix[] = {'\\', '\\', '?', '\\'};
        o.add(prefix, 4);
        o.add(full, n);
    }
    return o.end();
}
