#include "base/dir.h"

#include "base/chars.h"
#include "base/platform/platform.h"

namespace {

// The separator, '*' and the zero byte that end a search pattern.
const uint64_t PATTERN_BYTES = 3;
static_assert(DIR_PATH_LIMIT == DIR_PATH_CAPACITY - PATTERN_BYTES,
              "the limit leaves the pattern room");

// How long a shortage of handles or memory is waited out (the helper
// threads hold a file each for a moment), by the clock: a nap lasts a
// fifth of a millisecond on Linux but a timer tick (15.6 ms) on Windows.
const uint64_t STARVED_MS = 50;

// Whether a name joins the path with a separator of its own: not after one
// the path already ends with ("./", "C:\\"), nor after a bare drive ("D:",
// whose names are "D:x.c").
int needs_separator(const data_t* directory) {
    return directory->used == 0 ||
           platform_folder_length(directory->data, directory->used) != directory->used;
}

platform_handle_t find_first_patiently(const char* pattern, platform_find_entry_t* entry) {
    const uint64_t start = platform_milliseconds();
    for (;;) {
        platform_handle_t search = platform_find_first(pattern, entry);
        if (search != PLATFORM_INVALID_HANDLE ||
            !platform_error_is_resource(platform_last_error()) ||
            platform_milliseconds() - start >= STARVED_MS)
            return search;
        platform_thread_nap();
    }
}

// Counts a subdirectory that could not be searched and keeps the first
// one's path and reason.
void note_failure(file_list_t* list, const data_t* directory) {
    const uint32_t error = list->search_error;
    dir_failures_t* failures =
        platform_error_is_resource(error) ? &list->starved : &list->unsearchable;
    if (failures->count++ != 0) return;
    failures->error = error;
    const uint64_t before = list->arena->used;
    uint8_t* copy = data_append_data(list->arena, directory, 1);
    if (copy && data_append_byte(list->arena, 0)) {
        failures->first = copy;
    } else {
        list->arena->used = before;
    }
}

int flag_given(uint32_t flags, uint32_t flag) { return (flags & flag) == flag; }

int is_dot_entry(const data_t* name) {
    return (name->used == 1 && name->data[0] == '.') ||
           (name->used == 2 && name->data[0] == '.' && name->data[1] == '.');
}

int matches_any(const data_t* name, const data_t* items, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i)
        if (dir_name_equal(name, &items[i], PLATFORM_NAMES_FOLD_CASE)) return 1;
    return 0;
}

// ".c" is written for "c" as often as not (MSBuild's item lists are), so an
// extension item's one leading dot is not part of it; "." alone stays as
// it is and matches nothing.
int matches_extension(const data_t* extension, const data_t* items, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
        data_t item = items[i];
        if (item.used > 1 && item.data[0] == '.') {
            item.data += 1;
            item.used -= 1;
            item.size = item.used;
        }
        if (dir_name_equal(extension, &item, PLATFORM_NAMES_FOLD_CASE)) return 1;
    }
    return 0;
}

// Whether the name's extension is listed, or no extension is.
int extension_passes(const dir_filter_t* filter, const data_t* name) {
    data_t extension = file_extension(name->data, name->used);
    return filter->extension_count == 0 ||
           matches_extension(&extension, filter->extensions, filter->extension_count);
}

int holds_separator(const data_t* text) {
    for (uint64_t i = 0; i < text->used; ++i)
        if (platform_is_separator(text->data[i])) return 1;
    return 0;
}

// Bytes a full path may take here: the longest current directory and a
// whole argument after it.
const uint32_t FULL_PATH_CAPACITY = 8192;

// The full path of a text, without the separators that may end it (the
// root "/" becomes empty, "C:\\" becomes "C:"), so that a path under it is
// always it, one separator and the rest. Its length, or -1 when it cannot
// be told.
int64_t trimmed_full_path(const data_t* text, char* out) {
    char terminated[FULL_PATH_CAPACITY];
    if (text->used + 1 > sizeof terminated) return -1;
    bytes_copy(terminated, text->data, text->used);
    terminated[text->used] = 0;
    uint32_t n = platform_path_full(terminated, out, FULL_PATH_CAPACITY);
    if (n == 0) return -1;
    while (n != 0 && platform_is_separator((uint8_t)out[n - 1]))
        --n;
    return n;
}

// The longest path an entry may have: a folder's path fills at most the
// walk's buffer, and a name follows it.
const uint64_t ENTRY_PATH_CAPACITY = DIR_PATH_CAPACITY + sizeof(platform_find_entry_t::name);

// One walk from a root: the list it fills, the filter, and the exceptions
// written as paths that lie under the root, each as the rest of its full
// path after the root's, to be compared with the rest of each entry's path
// after the root's text.
struct walk_t {
    file_list_t* list;
    const dir_filter_t* filter;
    uint64_t root_used;
    data_t paths[DIR_LIST_ITEMS];
    uint32_t path_count;
    // Only a rest shorter than the longest entry path can name an entry, so
    // every item has room.
    uint8_t path_bytes[DIR_LIST_ITEMS * ENTRY_PATH_CAPACITY];
};

// Keeps the rest, after the root's full path, of every path exception
// under the root. Exceptions elsewhere cannot name an entry of this walk,
// nor can one that is the root itself: the root was asked for.
void walk_plan_paths(walk_t* walk, const data_t* root) {
    walk->root_used = root->used;
    walk->path_count = 0;
    const dir_filter_t* filter = walk->filter;
    uint32_t i = 0;
    while (i < filter->exception_count && !holds_separator(&filter->exceptions[i]))
        ++i;
    // Names alone need no full path, nor the system call it takes.
    if (i == filter->exception_count) return;
    char root_full[FULL_PATH_CAPACITY], item_full[FULL_PATH_CAPACITY];
    const int64_t root_length = trimmed_full_path(root, root_full);
    if (root_length < 0) return;
    const data_t root_view = data_make(root_length, root_length, root_full);
    uint64_t stored = 0;
    for (; i < filter->exception_count; ++i) {
        const data_t* item = &filter->exceptions[i];
        if (!holds_separator(item)) continue;
        const int64_t length = trimmed_full_path(item, item_full);
        if (length <= root_length || !platform_is_separator((uint8_t)item_full[root_length]))
            continue;
        const data_t head = data_make(root_length, root_length, item_full);
        if (!dir_name_equal(&head, &root_view, PLATFORM_NAMES_FOLD_CASE)) continue;
        const uint64_t rest = (uint64_t)(length - root_length - 1);
        // Longer than any entry's path under this root: it names none.
        if (root->used + 1 + rest > ENTRY_PATH_CAPACITY) continue;
        uint8_t* bytes = walk->path_bytes + stored;
        bytes_copy(bytes, item_full + root_length + 1, rest);
        stored += rest;
        walk->paths[walk->path_count++] = data_make(rest, rest, bytes);
    }
}

// Whether the entry's path is one of the path exceptions: the rest of its
// path after the root's text (the folders the walk went down, joined with
// the system's separator, then the name) is the rest of an exception.
int is_excepted_path(const walk_t* walk, const data_t* directory, const data_t* name) {
    if (walk->path_count == 0) return 0;
    uint64_t start = walk->root_used;
    // The separator after the root's text, when the walk added one.
    if (start < directory->used && platform_is_separator(directory->data[start])) ++start;
    const uint64_t folders = directory->used - start;
    const data_t down = data_make(folders, folders, directory->data + start);
    const uint64_t length = folders == 0 ? name->used : folders + 1 + name->used;
    for (uint32_t i = 0; i < walk->path_count; ++i) {
        const data_t* rest = &walk->paths[i];
        if (rest->used != length) continue;
        const data_t tail = data_make(name->used, name->used, rest->data + length - name->used);
        if (!dir_name_equal(&tail, name, PLATFORM_NAMES_FOLD_CASE)) continue;
        if (folders == 0) return 1;
        const data_t head = data_make(folders, folders, rest->data);
        if (platform_is_separator(rest->data[folders]) &&
            dir_name_equal(&head, &down, PLATFORM_NAMES_FOLD_CASE))
            return 1;
    }
    return 0;
}

void record_entry(file_list_t* list, const data_t* directory, const data_t* name,
                  const platform_find_entry_t* entry, uint8_t is_directory) {
    uint32_t i = list->count;
    data_t* arena = list->arena;
    list->is_directory[i] = is_directory;
    const int separator = needs_separator(directory);
    list->paths[i] = data_append_data(arena, directory, 1);
    int stored = list->paths[i] != nullptr;
    if (separator) stored &= data_append_byte(arena, PLATFORM_SEPARATOR) != nullptr;
    stored &= data_append_data(arena, name, 1) != nullptr;
    stored &= data_append_byte(arena, 0) != nullptr;
    if (!stored) {
        // A path cut short has no zero byte: nobody may read it.
        list->lost_paths += 1;
        list->paths[i] = nullptr;
    }
    list->path_lengths[i] = (uint16_t)(directory->used + separator + name->used);
    list->sizes[i] = ((uint64_t)entry->size_high << 32) | entry->size_low;
    list->write_times[i] = ((uint64_t)entry->write_time_high << 32) | entry->write_time_low;
    // Other threads may take the entry as soon as it is counted: everything
    // above is written before.
    atomic_store_release(&list->count, i + 1);
    if (list->signal) threads_signal_wake(list->signal, 1);
}

// Keeps the path of a folder searched, for a dependency file to list.
void record_folder(file_list_t* list, const data_t* directory) {
    const data_mark_t mark = data_mark(list->arena);
    uint8_t* copy = list->folder_count < list->folder_capacity
                        ? data_append_data(list->arena, directory, 1)
                        : nullptr;
    if (copy && data_append_byte(list->arena, 0)) {
        list->folders[list->folder_count++] = copy;
        return;
    }
    data_rewind(list->arena, mark);
    list->folders_lost += 1;
}

} // namespace

file_list_t file_list_make(data_t* arena, uint32_t capacity) {
    const data_mark_t mark = data_mark(arena);
    file_list_t list{};
    list.paths = (uint8_t**)data_push(arena, (uint64_t)capacity * 8, 8);
    list.sizes = (uint64_t*)data_push(arena, (uint64_t)capacity * 8, 8);
    list.path_lengths = (uint16_t*)data_push(arena, (uint64_t)capacity * 2, 2);
    list.is_directory = data_push(arena, capacity, 1);
    list.write_times = (uint64_t*)data_push(arena, (uint64_t)capacity * 8, 8);
    if (list.paths && list.sizes && list.path_lengths && list.is_directory && list.write_times) {
        list.arena = arena;
        list.capacity = capacity;
        return list;
    }
    data_rewind(arena, mark);
    return file_list_t{};
}

int file_list_track_folders(file_list_t* list, uint32_t capacity) {
    list->folders = (uint8_t**)data_push(list->arena, (uint64_t)capacity * 8, 8);
    list->folder_capacity = list->folders ? capacity : 0;
    return list->folders != nullptr;
}

uint32_t list_split(const data_t* text, data_t* items, uint32_t maximum) {
    const uint8_t* p = text->data;
    const uint8_t* end = text->data + text->used;
    uint32_t n = 0;
    while (p < end && n < maximum) {
        while (p < end && char_is_space(*p))
            ++p;
        const uint8_t* start = p;
        uint64_t length = 0;
        while (p < end && *p != ',') {
            ++length;
            ++p;
        }
        ++p;
        if (length != 0) items[n++] = data_t{length, length, (uint8_t*)start};
    }
    return n;
}

data_t file_extension(const uint8_t* name, uint64_t length) {
    const uint8_t* end = name + length;
    const uint8_t* dot = string_find_last(name, end, ".", 1);
    if (dot == end || !dot) return data_t{0, 0, nullptr};
    uint64_t n = (uint64_t)(end - dot - 1);
    return data_t{n, n, (uint8_t*)dot + 1};
}

int dir_name_equal(const data_t* a, const data_t* b, int fold_case) {
    if (a->used != b->used) return 0;
    for (uint64_t i = 0; i < a->used; ++i) {
        uint32_t x = a->data[i], y = b->data[i];
        if (fold_case) {
            x = char_is_upper(x) ? x | 0x20 : x;
            y = char_is_upper(y) ? y | 0x20 : y;
        }
        if (x != y) return 0;
    }
    return 1;
}

data_t dir_default(void) {
    static const char text[3] = {'.', PLATFORM_SEPARATOR, 0};
    return data_make(sizeof text, sizeof text - 1, (void*)text);
}

dir_search_result_t dir_search(file_list_t* list, const data_t* directory,
                               const dir_filter_t* filter, uint32_t flags) {
    // The directory text and its search pattern must fit the path buffer;
    // one that does not is not searched at all.
    if (directory->used + PATTERN_BYTES > DIR_PATH_CAPACITY) return DIR_SEARCH_TOO_LONG;
    uint8_t buffer[DIR_PATH_CAPACITY];
    data_t path = data_make(DIR_PATH_CAPACITY, 0, buffer);
    data_append_data(&path, directory, 1);

    if (!(flags & (WALK_FILES | WALK_DIRECTORIES))) flags |= WALK_FILES | WALK_DIRECTORIES;

    if (!dir_walk(list, &path, filter, flags)) return DIR_SEARCH_NOT_FOUND;
    return DIR_SEARCH_DONE;
}

namespace {

// What the walk does with one entry.
struct entry_plan_t {
    int record, as_directory, descend;
};

entry_plan_t plan_entry(const walk_t* walk, const data_t* directory, const data_t* name, int is_dir,
                        uint32_t flags) {
    const dir_filter_t* filter = walk->filter;
    entry_plan_t plan{0, 0, 0};
    if (matches_any(name, filter->exceptions, filter->exception_count) ||
        is_excepted_path(walk, directory, name))
        return plan;
    if (is_dir && flag_given(flags, WALK_DIRECTORIES)) {
        plan.record = flag_given(flags, WALK_DOT_ENTRIES) || !is_dot_entry(name);
        plan.as_directory = 1;
    } else if (!is_dir && flag_given(flags, WALK_FILES)) {
        plan.record = extension_passes(filter, name);
    }
    plan.descend = is_dir && flag_given(flags, WALK_RECURSIVE) && !is_dot_entry(name);
    return plan;
}

int walk_folder(walk_t* walk, const data_t* directory, uint32_t flags);

// Whether the folder holds an entry of the filter's marker name. The probe
// goes after the folder's path in the shared buffer; one that does not fit
// there cannot tell, and the folder is searched as it was before markers.
int holds_marker(const data_t* folder, const dir_filter_t* filter) {
    if (filter->marker.used == 0) return 0;
    data_t probe = *folder;
    if (needs_separator(&probe) && !data_append_byte(&probe, PLATFORM_SEPARATOR)) return 0;
    if (!data_append_data(&probe, &filter->marker, 1) || !data_append_byte(&probe, 0)) return 0;
    platform_path_info_t info;
    return platform_path_info((const char*)probe.data, &info) && info.kind != PLATFORM_PATH_MISSING;
}

// Walks the subdirectory, its path built after the directory's bytes,
// which stay as they are for the entries recorded after the descent.
void descend(walk_t* walk, const data_t* directory, const data_t* name, uint32_t flags) {
    file_list_t* list = walk->list;
    data_t sub = *directory;
    if (sub.used + 1 + name->used + PATTERN_BYTES > sub.size) {
        list->long_paths += 1;
        return;
    }
    if (needs_separator(&sub)) data_append_byte(&sub, PLATFORM_SEPARATOR);
    data_append_data(&sub, name, 1);
    if (holds_marker(&sub, walk->filter)) return;
    if (!walk_folder(walk, &sub, flags)) note_failure(list, &sub);
}

int walk_folder(walk_t* walk, const data_t* directory, uint32_t flags) {
    file_list_t* list = walk->list;
    // The pattern goes right after the directory's path in the shared buffer.
    data_t pattern = *directory;
    if (directory->used + PATTERN_BYTES > directory->size) {
        list->long_paths += 1;
        return 0;
    }
    if (needs_separator(directory)) data_append_byte(&pattern, PLATFORM_SEPARATOR);
    data_append(&pattern, "*", 2, 1); // with its zero byte
    platform_find_entry_t entry;
    platform_handle_t search = find_first_patiently((const char*)directory->data, &entry);
    if (search == PLATFORM_INVALID_HANDLE) {
        list->search_error = platform_last_error();
        return 0;
    }
    if (list->folders) record_folder(list, directory);

    for (int more = 1; more;) {
        data_t name = data_make(0, 0, entry.name);
        name.used = name.size = text_length(entry.name);
        const entry_plan_t plan = plan_entry(
            walk, directory, &name, (entry.attributes & PLATFORM_ATTRIBUTE_DIRECTORY) != 0, flags);
        if (list->count >= list->capacity) {
            // The list is full: this entry, or what lies below it, is left out.
            if (plan.record || plan.descend) list->truncated = 1;
            break;
        }
        if (plan.record) record_entry(list, directory, &name, &entry, (uint8_t)plan.as_directory);
        if (plan.descend) {
            if (list->count >= list->capacity) {
                list->truncated = 1;
                break;
            }
            descend(walk, directory, &name, flags);
        }
        const int next = platform_find_next(search, &entry);
        if (next < 0) {
            // Failed midway: what was listed stays, the rest is said missing.
            list->search_error = platform_last_error();
            note_failure(list, directory);
        }
        more = next > 0;
    }
    platform_find_close(search);
    return 1;
}

} // namespace

int dir_walk(file_list_t* list, const data_t* directory, const dir_filter_t* filter,
             uint32_t flags) {
    walk_t walk;
    walk.list = list;
    walk.filter = filter;
    walk_plan_paths(&walk, directory);
    return walk_folder(&walk, directory, flags);
}

int dir_file_passes(const dir_filter_t* filter, const data_t* name) {
    return !matches_any(name, filter->exceptions, filter->exception_count) &&
           extension_passes(filter, name);
}

int dir_is_separator(uint32_t c) { return platform_is_separator(c); }

uint64_t dir_drive_length(const uint8_t* path, uint64_t length) {
    return platform_drive_length(path, length);
}

namespace {

// Folders above a path's own that dir_would_list climbs at most, and the
// room for the path it climbs by ("a/b/../.."): deeper than a walk reaches.
const uint32_t CLIMB_LIMIT = 1024;
const uint64_t CLIMB_CAPACITY = 4 * DIR_PATH_CAPACITY + 3 * CLIMB_LIMIT;

// Whether one of the last `below` folders named in the path's folder part
// (those below the searched folder) is an exception the walk would not
// enter. Where the text does not show them plainly ("." or "..", fewer
// names than folders), none is taken for one: the path counts as listed.
int folder_excepted(const data_t* path, uint64_t folder, uint32_t below,
                    const dir_filter_t* filter) {
    uint64_t end = folder;
    int excepted = 0;
    for (uint32_t k = 0; k < below; ++k) {
        while (end != 0 && platform_is_separator(path->data[end - 1]))
            --end;
        uint64_t start = end;
        while (start != 0 && !platform_is_separator(path->data[start - 1]))
            --start;
        const data_t part = data_make(end - start, end - start, path->data + start);
        if (part.used == 0 || is_dot_entry(&part)) return 0;
        excepted |= matches_any(&part, filter->exceptions, filter->exception_count);
        end = start;
    }
    return excepted;
}

int same_file(const platform_path_info_t& a, const platform_path_info_t& b) {
    return a.volume == b.volume && a.index == b.index;
}

int existing(const char* path, platform_path_info_t* info) {
    return platform_path_info(path, info) && info->kind != PLATFORM_PATH_MISSING;
}

} // namespace

int dir_would_list(const data_t* directory, const data_t* path, const dir_filter_t* filter,
                   uint32_t flags) {
    const uint64_t folder = platform_folder_length(path->data, path->used);
    data_t name = data_make(path->used - folder, path->used - folder, path->data + folder);
    if (name.used == 0 || !dir_file_passes(filter, &name)) return 0;
    uint8_t buffer[CLIMB_CAPACITY];
    data_t text = data_make(sizeof buffer - 1, 0, buffer);
    // A directory the walk cannot hold is not searched at all.
    if (DIR_PATH_CAPACITY < directory->used + PATTERN_BYTES) return 0;
    data_append_data(&text, directory, 1);
    data_append_byte(&text, 0);
    platform_path_info_t searched, at, before{};
    if (!existing((const char*)buffer, &searched) || searched.kind != PLATFORM_PATH_DIRECTORY)
        return 0;
    // The path's folder, then the folders above it, one ".." at a time,
    // until the searched folder or the top shows. What cannot be told (a
    // climb too long for the buffer) counts as listed: a source is never
    // taken for a file of nobody's.
    text.used = 0;
    if (folder == 0)
        data_append_byte(&text, '.');
    else if (!data_append(&text, path->data, folder, 1))
        return 1;
    for (uint32_t up = 0; up <= CLIMB_LIMIT; ++up) {
        if (!data_append_byte(&text, 0)) return 1;
        if (!existing((const char*)buffer, &at)) return 0;
        if (same_file(at, searched))
            return (up == 0 || flag_given(flags, WALK_RECURSIVE)) &&
                   !folder_excepted(path, folder, up, filter);
        if (up != 0 && same_file(at, before)) return 0; // the top: ".." is itself
        before = at;
        text.used -= 1;
        if (!platform_is_separator(text.data[text.used - 1]) &&
            !data_append_byte(&text, PLATFORM_SEPARATOR))
            return 1;
        if (!data_append(&text, "..", 2, 1)) return 1;
    }
    return 1;
}

int dir_same_entry(const data_t* a, const data_t* b) {
    char first[DIR_PATH_CAPACITY], second[DIR_PATH_CAPACITY];
    if (a->used + 1 > sizeof first || b->used + 1 > sizeof second) return 0;
    bytes_copy(first, a->data, a->used);
    first[a->used] = 0;
    bytes_copy(second, b->data, b->used);
    second[b->used] = 0;
    platform_path_info_t x, y;
    const int a_exists = existing(first, &x), b_exists = existing(second, &y);
    if (a_exists && b_exists) return same_file(x, y);
    if (a_exists != b_exists) return 0;
    // Neither exists yet: the same name in the same folder.
    const uint64_t fa = platform_folder_length(a->data, a->used);
    const uint64_t fb = platform_folder_length(b->data, b->used);
    const data_t name_a = data_make(a->used - fa, a->used - fa, a->data + fa);
    const data_t name_b = data_make(b->used - fb, b->used - fb, b->data + fb);
    if (!dir_name_equal(&name_a, &name_b, PLATFORM_NAMES_FOLD_CASE)) return 0;
    first[fa] = 0;
    second[fb] = 0;
    if (fa == 0) first[0] = '.', first[1] = 0;
    if (fb == 0) second[0] = '.', second[1] = 0;
    return existing(first, &x) && existing(second, &y) && same_file(x, y);
}
