#include "tool/depfile.h"

namespace {

// Bytes both read as themselves, unescaped; ' ', '#', '$' and '\\' are
// written escaped or checked on their own, '~' is one but at a name's
// start. Ninja ends a name at any other punctuation ('&', '\'', '*', '|',
// ...), make splits or misreads at ':', '%', '=' and ';', takes '[' and ']'
// for a wildcard and '(' and ')' for an archive's member, and neither can
// hold a control byte.
int byte_is_plain(uint8_t c, uint32_t readers) {
    if (c >= 0x80) return 1;
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return 1;
    if (c >= '0' && c <= '9') return 1;
    switch (c) {
    case '+':
    case ',':
    case '/':
    case '_':
    case '.':
    case '~':
    case '{':
    case '}':
    case '!':
    case '@':
    case '-':
        return 1;
    case '(':
    case ')':
    case '[':
    case ']':
    case '%':
    case '=':
    case ':':
        // Ninja reads these as they are; make does not.
        return !(readers & DEPFILE_FOR_MAKE);
    default:
        return 0;
    }
}

// Whether the run of backslashes at i would be read as escapes: before a
// space, a '#', a '$' or the name's end. Where a backslash is a separator, a slash
// is the same name and is written instead (".\\" as "./").
int backslashes_misread(const uint8_t* name, uint64_t length, uint64_t i) {
    while (i < length && name[i] == '\\')
        ++i;
    return i == length || name[i] == ' ' || name[i] == '#' || name[i] == '$';
}

// Appends pieces and remembers whether any of them did not fit.
struct depfile_out_t {
    data_t* block;
    int complete;

    void bytes(const void* text, uint64_t n) {
        if (!data_append(block, text, n, 1)) complete = 0;
    }
    void path(const uint8_t* text, uint64_t n) {
        for (uint64_t i = 0; i < n; ++i) {
            uint8_t c = text[i];
            if (c == ' ' || c == '#') bytes("\\", 1);
            if (c == '$') bytes("$", 1);
            if (c == '\\' && backslashes_misread(text, n, i)) c = '/';
            bytes(&c, 1);
        }
        // A drive alone ("Z:", its current folder) would end a rule's
        // target with "::", a rule of another kind to make: "Z:." is the same folder.
        if (n != 0 && dir_drive_length(text, n) == n) bytes(".", 1);
    }
};

// Calls each(path, length) for every listed file but the one skipped, then
// every searched folder, then the extra path if there is one, until it
// returns 0; returns 0 when it was stopped.
template <typename each_t>
int for_each_path(const file_list_t& list, uint32_t skipped, const data_t& extra, each_t each) {
    for (uint32_t i = 0; i < list.count; ++i)
        if (i != skipped && list.paths[i] && !each(list.paths[i], text_length(list.paths[i])))
            return 0;
    for (uint32_t i = 0; i < list.folder_count; ++i)
        if (!each(list.folders[i], text_length(list.folders[i]))) return 0;
    return extra.used == 0 || each(extra.data, extra.used);
}

} // namespace

int depfile_name_fits(const uint8_t* name, uint64_t length, uint32_t readers) {
    if (length == 0) return 0;
    // A drive's colon is the only one a Windows path has, and both read it.
    const uint64_t drive = dir_drive_length(name, length);
    const int slash_instead = dir_is_separator('\\');
    // make expands a '~' that starts a name, and drops a space that ends a
    // line however it is escaped.
    const int make = (readers & DEPFILE_FOR_MAKE) != 0;
    if ((make && drive < length && name[drive] == '~') || name[length - 1] == ' ') return 0;
    for (uint64_t i = drive; i < length; ++i) {
        const uint8_t c = name[i];
        // Backslashes before a space, a '#' or the end escape them, or the
        // line's end, in one reader or the other.
        if (c == '\\' && (slash_instead || !backslashes_misread(name, length, i))) continue;
        if (!byte_is_plain(c, readers) && c != ' ' && c != '#' && c != '$') return 0;
    }
    return 1;
}

depfile_result_t depfile_write(data_t* block, const data_t& target, const file_list_t& list,
                               uint32_t skipped, const data_t& extra, uint32_t readers) {
    data_t bad{0, 0, nullptr};
    const auto check = [&](const uint8_t* path, uint64_t n) {
        if (depfile_name_fits(path, n, readers)) return 1;
        bad = data_make(n, n, (void*)path);
        return 0;
    };
    if (!check(target.data, target.used) || !for_each_path(list, skipped, extra, check))
        return depfile_result_t{DEPFILE_BAD_NAME, bad};

    depfile_out_t out{block, 1};
    out.path(target.data, target.used);
    out.bytes(":", 1);
    for_each_path(list, skipped, extra, [&](const uint8_t* path, uint64_t n) {
        out.bytes(" \\\n  ", 5);
        out.path(path, n);
        return 1;
    });
    out.bytes("\n", 1);
    for_each_path(list, skipped, extra, [&](const uint8_t* path, uint64_t n) {
        out.bytes("\n", 1);
        out.path(path, n);
        out.bytes(":\n", 2);
        return 1;
    });
    return depfile_result_t{out.complete ? DEPFILE_WRITTEN : DEPFILE_FULL, bad};
}

namespace {

// The line from at to its line feed (excluded); at moves past the feed.
// Empty with at unchanged at the end, or when the last line has no feed.
struct line_t {
    const uint8_t* begin;
    uint64_t length;
    int found;
};

line_t next_line(const uint8_t* text, uint64_t length, uint64_t* at) {
    for (uint64_t i = *at; i < length; ++i) {
        if (text[i] != '\n') continue;
        line_t line{text + *at, i - *at, 1};
        *at = i + 1;
        return line;
    }
    return line_t{nullptr, 0, 0};
}

int ends_with(const line_t& line, const char* tail) {
    const uint64_t n = text_length(tail);
    return line.length >= n && bytes_equal(line.begin + line.length - n, n, tail, n);
}

} // namespace

int depfile_looks_ours(const uint8_t* text, uint64_t length) {
    uint64_t at = 0;
    line_t line = next_line(text, length, &at);
    if (!line.found || line.length < 2 || line.begin[0] == ' ') return 0;
    int more = ends_with(line, ": \\");
    if (!more && !ends_with(line, ":")) return 0;
    // The prerequisites, two spaces in, each line but the last continued.
    const uint64_t first = at;
    while (more) {
        line = next_line(text, length, &at);
        if (!line.found || line.length < 3 || line.begin[0] != ' ' || line.begin[1] != ' ' ||
            line.begin[2] == ' ')
            return 0;
        more = ends_with(line, " \\");
    }
    // Then an empty line and an empty rule for each of them, in their
    // order, and nothing else: a makefile of someone's has other rules.
    uint64_t listed = first;
    const uint64_t rules = at;
    while (at < length) {
        line = next_line(text, length, &at);
        if (!line.found || line.length != 0) return 0;
        line = next_line(text, length, &at);
        if (listed == rules || !line.found || !ends_with(line, ":")) return 0;
        line_t prerequisite = next_line(text, length, &listed);
        const uint64_t n = prerequisite.length - (listed == rules ? 2 : 4);
        if (!bytes_equal(prerequisite.begin + 2, n, line.begin, line.length - 1)) return 0;
    }
    return listed == rules;
}
