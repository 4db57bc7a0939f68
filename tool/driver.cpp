#include "tool/driver.h"

#include "base/args.h"
#include "base/dir.h"
#include "base/file.h"
#include "base/threads.h"
#include "tool/check.h"
#include "tool/depfile.h"
#include "tool/guard.h"
#include "tool/header.h"
#include "tool/places.h"
#include "tool/report.h"
#include "tool/scan.h"
#include "tool/scan_files.h"

namespace {

const uint64_t ARENA_SIZE = 0xA00000;
const uint32_t FILE_LIST_CAPACITY = 1024;
// How far --max-files and --max-ids may raise the limits.
const uint64_t MAX_FILES_LIMIT = 1 << 20;
// The working memory of a run whose limits are raised holds every file and
// id they let in, at its longest, whatever the tree: a file's entry in the
// list (five arrays) and its path; with a dependency file, a folder's record
// and path too (a tree may hold a folder per file); an id's record, its
// file's index, its slots and its copy. The texts made after the scan (the
// header, the list, the dependency file) take what is left, or a block of
// their own (make_text).
const uint64_t FILE_ENTRY_BYTES = sizeof(uint8_t*) + 2 * sizeof(uint64_t) + sizeof(uint16_t) + 1;
const uint64_t BYTES_PER_FILE = FILE_ENTRY_BYTES + DIR_PATH_CAPACITY;
const uint64_t BYTES_PER_FOLDER = sizeof(uint8_t*) + DIR_PATH_CAPACITY;
// Ids are held at up to the 2048 characters the Microsoft compiler tells
// apart in a name: room for every id at the 65,535 bytes a header could
// hold would be 8 GiB at the most ids. Longer ids fit while the room does;
// past it the run fails with a word.
const uint64_t ID_ROOM = 2048;
const uint64_t BYTES_PER_ID = sizeof(data_t) + sizeof(uint32_t) + 4 * sizeof(uint32_t) + ID_ROOM;
// The carvings' alignment and the run's other small needs.
const uint64_t ARENA_SLACK = 1 << 20;
// Bytes of an overlong id named in its error.
const uint64_t ID_SHOWN = 40;

// Set when --check found the output out of date: exit 1, where any other
// failure of a checking run is 2.
int out_of_date;
// Folders a dependency file lists at most.
const uint32_t DEPFILE_FOLDER_CAPACITY = 4096;

// The usage text is the tool's own, byte for byte, wording included
// ("seperated", "arbitrary limited").
const char USAGE[] =
    "\n"
    "tagloomsmith [-h] [-d directory] [-e extensions] [-x exceptions] [-o output]\n"
    "             [-r] [-s]\n"
    "\n"
    "Searches files for ids used in profiler calls and create a file with the\n"
    "corresponding enums and strings.\n"
    "\n"
    "-h\n"
    "    Display this help and stops.\n"
    "\n"
    "-d directory\n"
    "    Specifies a directory to search files in. This argument can be used several\n"
    "    times to specify several directories.\n"
    "    Defaults to the current working directory.\n"
    "\n"
    "-e extensions\n"
    "    Specifies a comma seperated list of file extensions to search for.\n"
    "    Defaults to \"c,cpp,h,hpp\".\n"
    "\n"
    "-x exceptions\n"
    "    Specifies a comma separated list of file names to exclude from the search.\n"
    "    Defaults to \"profiler.h\".\n"
    "    Only file names without path, must contain extensions.\n"
    "    When using this argument, \"profiler.h\" should be in the list if the search\n"
    "    directories contain the profiler header.\n"
    "\n"
    "-o output\n"
    "    Specifies the name of the generated file.\n"
    "    Defaults to \"profiler_ids.h\" in the current working directory.\n"
    "\n"
    "-r\n"
    "    Specifies that the search is recursive.\n"
    "\n"
    "-s\n"
    "    Doesn't print \"profiler_ids.h generated.\" to stdout.\n"
    "\n"
    "NOTE: The search is arbitrary limited to 1024 files, 2048 event ids and\n"
    "      2048 timeline ids.\n"
    "\n";

// --help: every option, one line each. -h keeps the usage text above,
// which scripts and users of old may compare.
const char HELP[] =
    "Usage: tagloomsmith [options]\n"
    "\n"
    "Searches source files for the ids of profiler calls and writes a C header\n"
    "with their enumerations and the tables of their names.\n"
    "\n"
    "Options:\n"
    "  -d DIRECTORY        search this directory; repeatable (default: current)\n"
    "  -e EXTENSIONS       extensions to search (default: c,cpp,h,hpp)\n"
    "  -x NAMES            file names or paths to leave out (default: profiler.h)\n"
    "  -o OUTPUT           the header, - to print it (default: profiler_ids.h)\n"
    "  -r                  search subdirectories too\n"
    "  -s                  print no line after writing the header\n"
    "  --strict            every warning is an error: nothing written, exit 1\n"
    "  --check             write nothing; exit 0 up to date, 1 not, 2 cannot tell\n"
    "  --list              print each id's table, name and first use; write nothing\n"
    "  --depfile FILE      also write the files read as make/Ninja dependencies\n"
    "  --depfile-target T  the target named in FILE (default: OUTPUT)\n"
    "  --depfile-for TOOL  ninja: names only make misreads are fine; make: a target\n"
    "                      not OUTPUT lists OUTPUT too (default: both)\n"
    "  --skip-folders-with NAME\n"
    "                      leave out folders below the searched ones holding NAME\n"
    "  --max-files N       search at most N files (default: 1024, up to 1048576)\n"
    "  --max-ids N         keep N ids per table at most (default: 2048, up to 65535)\n"
    "  --diagnostics FORM  places as gcc writes them (a.c:1:2) or msvc (a.c(1,2))\n"
    "  -h                  print the short usage text\n"
    "  --help              print this help\n"
    "  --version           print the version\n"
    "\n"
    "Exit status: 0 done, 1 error (nothing written); with --check, 1 out of date\n"
    "and 2 when it cannot tell.\n";

// The options, in one table: a switch stands alone, the others take the
// argument after it, whatever that is. Only the first of an option counts,
// but for -d: every -d names a directory.
enum option_index_t {
    OPTION_DIRECTORY,
    OPTION_EXTENSIONS,
    OPTION_EXCEPTIONS,
    OPTION_OUTPUT,
    OPTION_DEPFILE,
    OPTION_DEPFILE_TARGET,
    OPTION_RECURSIVE,
    OPTION_SILENT,
    OPTION_STRICT,
    OPTION_CHECK,
    OPTION_HELP,
    OPTION_HELP_LONG,
    OPTION_VERSION,
    OPTION_MAX_FILES,
    OPTION_MAX_IDS,
    OPTION_DIAGNOSTICS,
    OPTION_LIST,
    OPTION_DEPFILE_FOR,
    OPTION_SKIP_FOLDERS_WITH,
    OPTION_COUNT
};
struct option_t {
    const char* name;
    int takes_value;
    const char* fallback; // the value when none is given; null for -d, whose is the system's
};
// In the order of option_index_t.
// clang-format off
const option_t OPTIONS[] = {
    {"-d", 1, nullptr},
    {"-e", 1, "c,cpp,h,hpp"},
    {"-x", 1, "profiler.h"},
    {"-o", 1, "profiler_ids.h"},
    {"--depfile", 1, ""},
    {"--depfile-target", 1, ""}, // empty: the output as given
    {"-r", 0, nullptr},
    {"-s", 0, nullptr},
    {"--strict", 0, nullptr},
    {"--check", 0, nullptr},
    {"-h", 0, nullptr},
    {"--help", 0, nullptr},
    {"--version", 0, nullptr},
    {"--max-files", 1, "1024"},
    {"--max-ids", 1, "2048"},
    {"--diagnostics", 1, ""},
    {"--list", 0, nullptr},
    {"--depfile-for", 1, ""}, // empty: make and Ninja
    {"--skip-folders-with", 1, ""}, // empty: none
};
// clang-format on
static_assert(sizeof OPTIONS / sizeof OPTIONS[0] == OPTION_COUNT, "one row per option");

data_t option_name(uint32_t option) {
    const char* name = OPTIONS[option].name;
    return data_make(text_length(name) + 1, text_length(name), (void*)name);
}

// A switch is on when it stands anywhere after the program's own name,
// even as the value of another option.
int switch_on(uint32_t option) { return arg_present(option_name(option), 0) != 0; }

// What the command line asks for, defaults applied, lists split.
struct options_t {
    data_t directories[ARGS_CAPACITY];
    uint32_t directory_count;
    dir_filter_t filter;
    data_t output;
    int to_standard_output;   // "-o -"
    data_t depfile;           // empty for none
    data_t depfile_target;    // what the dependency file says it is for
    uint32_t depfile_readers; // DEPFILE_FOR_MAKE, DEPFILE_FOR_NINJA
    // The file at the output path, when there is one: a source it must not be.
    file_id_t output_file;
    const file_id_t* output_id;
    uint32_t flags;
    int silent, check;
    uint32_t max_files;
    uint64_t max_ids;
    int list;         // --list: say the ids and where they are, write nothing
    uint32_t unknown; // arguments no option takes
};

// The working memory of one run and what the search and scan put in it.
struct run_t {
    data_t arena;
    id_table_t timelines, events;
    file_list_t list;
    int output_scanned;    // 1 when the scan met the output among the files
    uint32_t output_index; // then its list index
    data_t buffer;         // the main thread's read buffer
    uint32_t doubts;       // folders and files that could not be read
};

// The distance between two short texts: edits of one byte (insert, delete,
// replace) and swaps of two neighbours; more than 2 is said as 3.
uint32_t distance(const data_t& a, const data_t& b) {
    const uint64_t MOST = 32;
    if (a.used > MOST || b.used > MOST) return 3;
    uint8_t rows[3][MOST + 1]; // two rows back, one back, this one
    for (uint64_t j = 0; j <= b.used; ++j)
        rows[1][j] = (uint8_t)j;
    for (uint64_t i = 1; i <= a.used; ++i) {
        uint8_t* row = rows[(i + 1) % 3];
        const uint8_t* up = rows[i % 3];
        const uint8_t* up2 = rows[(i + 2) % 3];
        row[0] = (uint8_t)i;
        for (uint64_t j = 1; j <= b.used; ++j) {
            const uint8_t change = a.data[i - 1] != b.data[j - 1];
            uint8_t d = up[j - 1] + change;
            if (up[j] + 1 < d) d = up[j] + 1;
            if (row[j - 1] + 1 < d) d = row[j - 1] + 1;
            if (i > 1 && j > 1 && a.data[i - 1] == b.data[j - 2] &&
                a.data[i - 2] == b.data[j - 1] && up2[j - 2] + 1 < d)
                d = up2[j - 2] + 1;
            row[j] = d;
        }
    }
    const uint8_t d = rows[(a.used + 1) % 3][b.used];
    return d > 3 ? 3 : d;
}

// The text without its leading dashes: "--check" and "check" are one word.
data_t undashed(data_t text) {
    while (text.used != 0 && text.data[0] == '-') {
        ++text.data;
        --text.used;
    }
    return text;
}

// The option the argument starts with, the longest that fits, and the
// rest of it in *value ("-dsrc", "--max-files=10", "-d=src": the '=' is
// no part of the value). OPTION_COUNT when it starts with none.
uint32_t run_together(const data_t& argument, data_t* value) {
    uint32_t best = OPTION_COUNT;
    for (uint32_t i = 0; i < OPTION_COUNT; ++i) {
        const data_t name = option_name(i);
        if (!OPTIONS[i].takes_value || argument.used <= name.used ||
            !bytes_equal(argument.data, name.used, name.data, name.used))
            continue;
        if (best != OPTION_COUNT && name.used <= option_name(best).used)
            continue; // the longest name that fits: --depfile-target, not --depfile
        best = i;
        *value = data_make(0, argument.used - name.used, argument.data + name.used);
        if (value->data[0] == '=') {
            ++value->data;
            --value->used;
        }
    }
    return best;
}

// What an argument no option takes most likely meant: the one option within
// a typo of it ("--chek", "help", "--depfile-targt"), or an option and its
// value run together ("-dsrc": the option, and the rest in *value), or the
// one long option it starts ("-v"). OPTION_COUNT when there is none. A
// typo of another option reads better than a split ("--depfile-targt" is
// no --depfile of "-targt"); a value after its own option's name is the
// split ("--max-ids5", "-d=src").
uint32_t meant(const data_t& argument, data_t* value) {
    data_t rest = data_make(0, 0, nullptr);
    const uint32_t split = run_together(argument, &rest);
    const data_t word = undashed(argument);
    if (word.used == 0) return OPTION_COUNT;
    uint32_t best = OPTION_COUNT, least = 3, ties = 0, starts = 0, started = OPTION_COUNT;
    for (uint32_t i = 0; i < OPTION_COUNT; ++i) {
        const data_t name = undashed(option_name(i));
        // One edit in a short name, two in a longer one.
        const uint32_t d = distance(word, name);
        if (d <= (name.used <= 4 ? 1u : 2u) && d <= least) {
            ties = d == least ? ties + 1 : 1;
            least = d;
            best = i;
        }
        if (word.used < name.used && bytes_equal(name.data, word.used, word.data, word.used)) {
            starts += 1;
            started = i;
        }
    }
    if (best != OPTION_COUNT && ties == 1 && best != split) return best;
    if (split != OPTION_COUNT) {
        *value = rest;
        return split;
    }
    return starts == 1 ? started : (uint32_t)OPTION_COUNT;
}

// Every argument no option takes is an error, and an option left without
// its value is said: a typo must not pass for a run that did what was
// meant. Returns how many arguments were not taken.
uint32_t report_unused_arguments(void) {
    data_t switches[OPTION_COUNT], options[OPTION_COUNT];
    uint32_t switch_count = 0, option_count = 0;
    for (uint32_t i = 0; i < OPTION_COUNT; ++i) {
        if (OPTIONS[i].takes_value)
            options[option_count++] = option_name(i);
        else
            switches[switch_count++] = option_name(i);
    }
    uint8_t taken[ARGS_CAPACITY];
    arg_mark_taken(switches, switch_count, options, option_count, taken);
    const uint32_t count = arg_count();
    uint32_t unused = 0;
    for (uint32_t i = 1; i < count; ++i) {
        if (taken[i]) continue;
        unused += 1;
        const data_t argument = arg_at(i);
        message_t m("error");
        m.add("unknown argument ");
        m.quoted(argument);
        data_t value = data_make(0, 0, nullptr);
        const uint32_t option = meant(argument, &value);
        if (option != OPTION_COUNT) {
            m.add("; did you mean ");
            m.add(OPTIONS[option].name);
            if (value.used != 0) {
                m.add(" ");
                m.escaped(value);
            }
            m.add("?");
        }
        m.send();
    }
    // Only the first of an option counts (every -d does): another would be
    // dropped without a word, so it is an error too.
    for (uint32_t k = 0; k < OPTION_COUNT; ++k) {
        if (!OPTIONS[k].takes_value || k == OPTION_DIRECTORY) continue;
        const data_t name = option_name(k);
        const uint32_t first = arg_find(name.data, name.used, 1);
        for (uint32_t at = first == 0 ? 0 : arg_find(name.data, name.used, first + 2); at != 0;
             at = arg_find(name.data, name.used, at + 2)) {
            unused += 1;
            message_t m("error");
            m.add(name);
            m.add(" is given more than once; it takes one value");
            if (at + 1 < count) {
                m.add(", not also ");
                m.quoted(arg_at(at + 1));
            }
            m.send();
        }
    }
    if (count < 2) return unused;
    const data_t last = arg_at(count - 1);
    for (uint32_t k = 0; k < option_count; ++k) {
        if (!data_equal(&last, &options[k])) continue;
        const int first = arg_find(last.data, last.used, 1) == count - 1;
        const data_t directory = option_name(OPTION_DIRECTORY);
        if (!first && !data_equal(&last, &directory)) continue; // a second one, said above
        message_t m("warning");
        m.add(last);
        m.add(first ? " has no value; the default is used" : " has no value; it is ignored");
        m.send();
    }
    return unused;
}

// An empty argument after an option is no value, and no default stands in
// for it: a script's unset variable ("-o $OUT") must not pass for a run
// that wrote what was asked.
void error_empty_value(options_t* o, uint32_t option) {
    message_t m("error");
    m.add(OPTIONS[option].name);
    m.add(" has an empty value");
    m.send();
    o->unknown += 1;
}

// The value of an option that counts once, or its default.
data_t option_value(options_t* o, uint32_t option) {
    data_t value = arg_value(option_name(option), nullptr);
    if (value.used != 0) return value;
    if (value.data) error_empty_value(o, option);
    const char* fallback = OPTIONS[option].fallback;
    return data_make(text_length(fallback) + 1, text_length(fallback), (void*)fallback);
}

// Every -d value in command-line order; the default when no -d has one.
void read_directories(options_t* o) {
    const data_t name = option_name(OPTION_DIRECTORY);
    o->directory_count = 0;
    for (uint32_t at = arg_find(name.data, name.used, 0); at != 0 && at + 1 < arg_count();
         at = arg_find(name.data, name.used, at + 1)) {
        const data_t value = arg_at(at + 1);
        if (value.used != 0) {
            o->directories[o->directory_count++] = value;
            continue;
        }
        error_empty_value(o, OPTION_DIRECTORY);
    }
    if (o->directory_count == 0) o->directories[o->directory_count++] = dir_default();
}

// The items of a list option; items beyond the walk's limit are said and
// left out.
uint32_t read_list(options_t* o, uint32_t option, data_t* items) {
    const data_t text = option_value(o, option);
    data_t split[DIR_LIST_ITEMS + 1];
    const uint32_t count = list_split(&text, split, DIR_LIST_ITEMS + 1);
    if (count > DIR_LIST_ITEMS) {
        message_t m("warning");
        m.add(OPTIONS[option].name);
        m.add(" holds more than ");
        m.add(DIR_LIST_ITEMS);
        m.add(" items; ");
        m.quoted(split[DIR_LIST_ITEMS]);
        m.add(" and the items after it are ignored");
        m.send();
    }
    const uint32_t kept = count > DIR_LIST_ITEMS ? DIR_LIST_ITEMS : count;
    for (uint32_t i = 0; i < kept; ++i)
        items[i] = split[i];
    return kept;
}

void read_options(options_t* o) {
    // Strict first: what is said about the arguments counts too.
    if (switch_on(OPTION_STRICT)) report_strict();
    o->unknown = report_unused_arguments();
    read_directories(o);
    o->filter.extension_count = read_list(o, OPTION_EXTENSIONS, o->filter.extensions);
    o->filter.exception_count = read_list(o, OPTION_EXCEPTIONS, o->filter.exceptions);
    o->filter.marker = option_value(o, OPTION_SKIP_FOLDERS_WITH);
    o->output = option_value(o, OPTION_OUTPUT);
    o->depfile = option_value(o, OPTION_DEPFILE);
    o->depfile_target = option_value(o, OPTION_DEPFILE_TARGET);
    if (o->depfile_target.used != 0 && o->depfile.used == 0)
        report_warning("--depfile-target names the target of a dependency file; without "
                       "--depfile it is ignored");
    if (o->depfile_target.used == 0) o->depfile_target = o->output;
    o->to_standard_output = o->output.used == 1 && o->output.data[0] == '-';
    o->output_id =
        !o->to_standard_output && file_path_id((const char*)o->output.data, &o->output_file)
            ? &o->output_file
            : nullptr;
    o->flags = WALK_FILES | (switch_on(OPTION_RECURSIVE) ? WALK_RECURSIVE : 0);
    o->silent = switch_on(OPTION_SILENT);
    o->check = switch_on(OPTION_CHECK);
}

// The number an option gives, from 1 to most; 0, said, when it is none.
uint64_t read_number(options_t* o, uint32_t option, uint64_t most) {
    const data_t text = option_value(o, option);
    uint64_t value = 0;
    for (uint64_t i = 0; i < text.used && value <= most; ++i) {
        const uint8_t c = text.data[i];
        value = c >= '0' && c <= '9' ? value * 10 + (c - '0') : most + 1;
    }
    if (value >= 1 && value <= most) return value;
    message_t m("error");
    m.add(OPTIONS[option].name);
    m.add(" takes a number from 1 to ");
    m.add(most);
    m.add(", not ");
    m.quoted(text);
    m.send();
    return 0;
}

// The limits, the form of the places said and --list. 0 on a bad value,
// said.
int read_run_options(options_t* o) {
    o->max_files = (uint32_t)read_number(o, OPTION_MAX_FILES, MAX_FILES_LIMIT);
    o->max_ids = read_number(o, OPTION_MAX_IDS, ID_TABLE_CAPACITY_MAX);
    o->list = switch_on(OPTION_LIST);
    const data_t form = option_value(o, OPTION_DIAGNOSTICS);
    const data_t gcc = DATA_LITERAL("gcc"), msvc = DATA_LITERAL("msvc");
    if (data_equal(&form, &gcc)) {
        report_set_form(REPORT_GCC);
    } else if (data_equal(&form, &msvc)) {
        report_set_form(REPORT_MSVC);
    } else if (form.used != 0) {
        report_error_about("--diagnostics takes gcc or msvc, not ", form, "");
        return 0;
    }
    const data_t readers = option_value(o, OPTION_DEPFILE_FOR);
    const data_t ninja = DATA_LITERAL("ninja"), make = DATA_LITERAL("make");
    o->depfile_readers = data_equal(&readers, &ninja)  ? DEPFILE_FOR_NINJA
                         : data_equal(&readers, &make) ? DEPFILE_FOR_MAKE
                                                       : DEPFILE_FOR_MAKE | DEPFILE_FOR_NINJA;
    if (readers.used != 0 && o->depfile_readers == (DEPFILE_FOR_MAKE | DEPFILE_FOR_NINJA)) {
        report_error_about("--depfile-for takes make or ninja, not ", readers, "");
        return 0;
    }
    return o->max_files != 0 && o->max_ids != 0;
}

// Folders a dependency file lists at most: a tree raised past the default
// files has more folders too.
uint32_t folder_capacity(const options_t& o) {
    return o.max_files > DEPFILE_FOLDER_CAPACITY ? o.max_files : DEPFILE_FOLDER_CAPACITY;
}

// The working memory a run of these limits needs: as much as always within
// the defaults, room for every file and id the raised limits let in beyond
// them.
uint64_t arena_size(const options_t& o) {
    if (o.max_files <= FILE_LIST_CAPACITY && o.max_ids <= ID_TABLE_CAPACITY) return ARENA_SIZE;
    uint64_t size = ARENA_SLACK + o.max_files * BYTES_PER_FILE + 2 * o.max_ids * BYTES_PER_ID;
    if (o.depfile.used != 0) size += folder_capacity(o) * BYTES_PER_FOLDER;
    return size > ARENA_SIZE ? size : ARENA_SIZE;
}

// Memory the OS refused: "cannot obtain the 10 MiB of working memory".
void error_refused(uint64_t bytes, const char* what) {
    message_t m("error");
    m.add("cannot obtain the ");
    m.add(bytes >> 20);
    m.add(what);
    m.send();
}

// The arena, the two id tables and the file list, carved in that order,
// and the list of folders searched when a dependency file lists them.
int run_make(run_t* run, const options_t& o) {
    run->doubts = 0;
    const uint64_t size = arena_size(o);
    run->arena = data_os_alloc(size, nullptr);
    if (!run->arena.data) {
        error_refused(size, " MiB of working memory");
        return 0;
    }
    run->events = id_table_make(&run->arena, o.max_ids);
    run->timelines = id_table_make(&run->arena, o.max_ids);
    run->list = file_list_make(&run->arena, o.max_files);
    const uint32_t folders = folder_capacity(o);
    if (run->events.records && run->timelines.records && run->list.capacity != 0 &&
        id_table_track(&run->events, &run->arena) && id_table_track(&run->timelines, &run->arena) &&
        (o.depfile.used == 0 || file_list_track_folders(&run->list, folders)))
        return 1;
    report_error("out of working memory for the id tables and the file list");
    return 0;
}

void warn_directory(const data_t& directory, dir_search_result_t result, uint32_t error) {
    message_t m("warning");
    if (result == DIR_SEARCH_TOO_LONG) {
        m.add("directory path longer than ");
        m.add(DIR_PATH_LIMIT);
        m.add(" bytes, not searched: ");
        m.quoted(directory);
    } else {
        m.add("cannot search directory ");
        m.quoted(directory);
        m.reason(error);
    }
    m.send();
}

// The first of some directories or files, why it failed, and how many more.
void say_failures(const char* kind, const char* what, const char* first, uint32_t error,
                  uint64_t count, const char* one_more, const char* more, const char* after) {
    message_t m(kind);
    m.add(what);
    m.quoted(first ? first : "");
    m.reason(error);
    m.others(count - 1, one_more, more);
    m.add(after);
    m.send();
}

// Warnings about what the walk left out.
void report_walk(const file_list_t& list) {
    if (list.long_paths != 0) {
        message_t m("warning");
        m.add("subdirectories whose paths exceed ");
        m.add(DIR_PATH_LIMIT);
        m.add(" bytes were not searched (");
        m.add(list.long_paths);
        m.add(")");
        m.send();
    }
    const dir_failures_t& u = list.unsearchable;
    if (u.count != 0)
        say_failures("warning", "cannot search directory ", (const char*)u.first, u.error, u.count,
                     " more directory", " more directories", "");
    if (list.truncated) {
        message_t m("warning");
        m.add("the limit of ");
        m.add(list.capacity);
        m.add(list.capacity == 1 ? " file" : " files");
        m.add(" was reached; raise it with --max-files");
        m.send();
    }
}

void warn_table_full(const char* which, uint64_t capacity) {
    message_t m("warning");
    m.add("the limit of ");
    m.add(capacity);
    m.add(" ");
    m.add(which);
    m.add(capacity == 1 ? " id" : " ids");
    m.add(" was reached; raise it with --max-ids");
    m.send();
}

// Runs one search per directory while the threads read the files it
// lists. 0 on an error, said, with the threads stopped.
int search_directories(const options_t& o, run_t* run, scan_files_t* scan) {
    for (uint32_t d = 0; d < o.directory_count; ++d) {
        const data_t& directory = o.directories[d];
        const dir_search_result_t result = dir_search(&run->list, &directory, &o.filter, o.flags);
        if (result == DIR_SEARCH_NOT_FOUND && file_error_is_resource(run->list.search_error)) {
            // Not the directory's fault: its files would be missing from a
            // header that looks complete.
            scan_files_cancel(scan);
            message_t m("error");
            m.add("cannot search directory ");
            m.quoted(directory);
            m.reason(run->list.search_error);
            m.add("; no header written");
            m.send();
            return 0;
        }
        if (result != DIR_SEARCH_DONE) {
            warn_directory(directory, result, run->list.search_error);
            run->doubts += 1;
        }
    }
    report_walk(run->list);
    run->doubts += run->list.unsearchable.count + run->list.long_paths;
    if (run->list.folders_lost != 0) {
        scan_files_cancel(scan);
        message_t m("error");
        m.add("more than ");
        m.add(run->list.folder_capacity);
        m.add(" folders were searched, more than the dependency file can list; no header written");
        m.send();
        return 0;
    }
    const dir_failures_t& starved = run->list.starved;
    if (starved.count == 0 && run->list.lost_paths == 0) return 1;
    scan_files_cancel(scan);
    if (starved.count != 0)
        say_failures("error", "cannot search directory ", (const char*)starved.first, starved.error,
                     starved.count, " more directory", " more directories", "; no header written");
    else
        report_error("out of working memory for the paths of the files found; no header written");
    return 0;
}

// Reads what the threads left, puts every file's ids into the tables and
// says what could not be read. 0 on an error, said.
int scan_listed(run_t* run, scan_files_t* scan) {
    run->buffer = data_os_alloc(READ_PIECE_SIZE, nullptr);
    if (!run->buffer.data) {
        scan_files_cancel(scan);
        error_refused(READ_PIECE_SIZE, " MiB read buffer");
        return 0;
    }
    const scan_files_report_t report =
        scan_files_end(scan, &run->buffer, id_store_t{&run->arena, &run->timelines, &run->events});
    run->output_scanned = report.output_scanned;
    run->output_index = report.output_index;
    run->doubts += report.unreadable;
    if (report.unreadable != 0)
        say_failures("warning", "cannot read ", report.first_unreadable, report.unreadable_error,
                     report.unreadable, " more file", " more files", "");
    if (report.starved != 0) {
        say_failures("error", "cannot read ", report.first_starved, report.starved_error,
                     report.starved, " more file", " more files", "; no header written");
        return 0;
    }
    if (run->timelines.dropped != 0) warn_table_full("timeline", run->timelines.capacity);
    if (run->events.dropped != 0) warn_table_full("event", run->events.capacity);
    if (run->timelines.lost != 0 || run->events.lost != 0) {
        report_error("out of working memory for the ids found; no header written");
        return 0;
    }
    return 1;
}

// A search that found no file at all: most often extensions that match
// nothing (-e cc over .cpp files, a typo), which would pass for a project
// without ids.
void warn_nothing_found(const dir_filter_t& filter) {
    message_t m("warning");
    m.add("no file was found with the extensions \"");
    for (uint32_t i = 0; i < filter.extension_count; ++i) {
        if (i != 0) m.add(",");
        m.escaped(filter.extensions[i]);
    }
    m.add("\"");
    m.send();
}

// Searches every directory while threads read the files it lists, then
// puts every file's ids into the tables. 0 on an error, said.
int search_and_scan(const options_t& o, run_t* run) {
    // Many small files cost the kernel more than the scan costs us: every
    // processor opens and reads files, from the moment the walk lists them.
    scan_files_t scan = scan_files_begin(
        &run->list, {threads_available(), SCAN_SCRATCH_SIZE, o.output_id, o.max_ids});
    if (!search_directories(o, run, &scan) || !scan_listed(run, &scan)) return 0;
    // A folder that could not be searched is said already.
    if (run->list.count == 0 && run->doubts == 0) warn_nothing_found(o.filter);
    return 1;
}

// An id no header can hold ends the run before anything is written; the
// error points at the id in its file, where the file can be read again.
int ids_fit_a_header(run_t* run) {
    const header_problem_t problem = header_problem(&run->timelines, &run->events);
    if (problem.kind == HEADER_FINE) return 1;
    const id_table_t& table = problem.in_events ? run->events : run->timelines;
    report_place_t place;
    const int placed = id_place(&run->list, &table, problem.in_events,
                                (uint64_t)(problem.id - table.records), &run->buffer, &place);
    message_t m("error", placed ? &place : nullptr);
    if (problem.kind == HEADER_ID_CLASH) {
        m.add("the id ");
        m.quoted(*problem.id);
        m.add(" would declare ");
        m.add(header_enumerator_prefix(problem.in_events));
        m.add(*problem.id);
        m.add(" twice");
    } else {
        m.add("an id of ");
        m.add(problem.id->used);
        m.add(" bytes is longer than the ");
        m.add(HEADER_ID_LENGTH_LIMIT);
        m.add(" a header can hold: \"");
        m.add(problem.id->data, ID_SHOWN);
        m.add("...\"");
    }
    m.add("; no header written");
    m.send();
    return 0;
}

// What the run searches, for the checks of what it may replace.
guard_search_t search_of(const options_t& o) {
    return guard_search_t{o.directories, o.directory_count, &o.filter, o.flags};
}

// Puts the text into the file, said when it fails. 0 on a failure.
int replace_file(const data_t& name, const data_t& text) {
    const file_replace_t written = file_replace_all(name.data, name.used, text.data, text.used);
    if (written.outcome != FILE_FAILED) return 1;
    message_t m("error");
    m.add(written.temporary ? "cannot write the temporary file for " : "cannot write ");
    m.quoted(name);
    m.reason(written.error);
    m.send();
    return 0;
}

// Makes a text into the block, the arena's rest: or, when that is too small
// (raised limits let in more files and ids than the arena holds texts of),
// into blocks of the system's, each twice the last, until one holds it. 0
// when the system refuses one. make must make the whole text again each time.
template <typename make_t> int make_text(data_t* block, make_t make) {
    const uint8_t* rest = block->data;
    for (;;) {
        const uint64_t size = block->size;
        block->used = 0;
        if (make(block)) return 1;
        if (block->data != rest) data_os_free(block);
        *block = data_os_alloc(size < ARENA_SIZE ? ARENA_SIZE : 2 * size, nullptr);
        if (!block->data) return 0;
    }
}

// The output path and what became of it on standard output; the path alone
// when both do not fit (a path of 501 to 510 bytes), as the tool always did.
void say_final_line(const data_t& output, const char* said) {
    report_final_line(output, said, FILE_NAME_LIMIT + 16);
}

// The dependency file's text after the header in the block, then the file.
// It goes first: when it cannot be written the header stays as it was, so
// the build runs the tool again. 0 on a failure, said.
int write_depfile(const options_t& o, const run_t& run, const data_t& header) {
    data_t depfile = data_make(header.size - header.used, 0, header.data + header.used);
    // For make alone, a stamp's rule lists the header too, so that a deleted
    // header makes the stamp stale and the tool runs again. Ninja would take
    // that for a cycle where the header is an output of the same step.
    const int stamp =
        o.depfile_readers == DEPFILE_FOR_MAKE && !data_equal(&o.depfile_target, &o.output);
    const uint32_t itself = run.output_scanned && !stamp ? run.output_index : UINT32_MAX;
    const data_t none{0, 0, nullptr};
    const data_t& extra = stamp && !run.output_scanned ? o.output : none;
    depfile_result_t made{};
    make_text(&depfile, [&](data_t* block) {
        made = depfile_write(block, o.depfile_target, run.list, itself, extra, o.depfile_readers);
        return made.outcome != DEPFILE_FULL;
    });
    if (made.outcome == DEPFILE_FULL) {
        report_error_about("out of working memory for the dependency file; ", o.depfile,
                           " was not written; no header written");
        return 0;
    }
    if (made.outcome == DEPFILE_BAD_NAME) {
        message_t m("error");
        m.add(o.depfile_readers == DEPFILE_FOR_NINJA  ? "Ninja cannot read the name "
              : o.depfile_readers == DEPFILE_FOR_MAKE ? "make cannot read the name "
                                                      : "make and Ninja cannot read the name ");
        m.quoted(made.name);
        m.add(" back from a dependency file; ");
        m.quoted(o.depfile);
        m.add(" was not written; no header written");
        m.send();
        return 0;
    }
    return replace_file(o.depfile, depfile);
}

// --check: whether the output already holds this header, and if not, the
// ids that differ. Returns the exit code: 1 when out of date (out_of_date
// set), 1 too when it cannot tell (made 2 by tool_main).
int check_output(const options_t& o, const run_t& run, data_t* header) {
    if (o.to_standard_output) {
        report_error("--check compares with an output file; -o - has none");
        return 1;
    }
    if (run.doubts != 0) {
        // A folder or file not read may hold ids: the header may be right
        // by chance only.
        report_error_about("cannot tell whether ", o.output,
                           " is up to date: not every folder and file could be read");
        return 1;
    }
    // An output a run could not replace is no header to regenerate: the
    // run itself is broken.
    if (!guard_output(search_of(o), o.output, run.output_scanned != 0)) return 1;
    const int same = file_holds_text((const char*)o.output.data, header->data, header->used);
    const uint32_t error = file_last_error();
    file_id_t id;
    if (same == -1 && file_path_id((const char*)o.output.data, &id)) {
        // There, but not to be read: whether it is up to date is unknown.
        message_t m("error");
        m.add("cannot tell whether ");
        m.quoted(o.output);
        m.add(" is up to date");
        m.reason(error);
        m.send();
        return 1;
    }
    if (same == 1) {
        if (!o.silent) say_final_line(o.output, " is up to date.\n");
        return 0;
    }
    out_of_date = 1;
    message_t m("error");
    m.quoted(o.output);
    m.add(" is out of date");
    if (same == -1) {
        m.reason(error);
    } else {
        // The old text in the room after the new one, then the ids of both.
        data_t rest = data_make(header->size - header->used, 0, header->data + header->used);
        file_reader_t reader;
        int failed = 0;
        if (file_reader_open(&reader, (const char*)o.output.data, 0)) {
            if (reader.remaining <= rest.size) {
                rest.used = file_reader_read(&reader, rest.data, reader.remaining, &failed);
                if (!failed)
                    check_describe(&m, rest, *header,
                                   data_make(rest.size - rest.used, 0, rest.data + rest.used));
            }
            file_reader_close(&reader);
        }
    }
    m.send();
    return 1;
}

// --list: every id the header would declare and where it is first used,
// on standard output; nothing is written. Returns the exit code.
int list_output(run_t* run, data_t* block) {
    if (!make_text(block, [&](data_t* text) {
            return list_ids(text, &run->list, &run->timelines, &run->events, &run->buffer);
        })) {
        report_error("out of working memory for the list of ids");
        return 1;
    }
    if (std_out_write_data(block)) return 0;
    report_error("cannot write the list of ids to standard output");
    return 1;
}

// The header text, then the output file (or standard output) and the
// final line. Returns the exit code.
int write_output(const options_t& o, run_t* run) {
    if (!ids_fit_a_header(run)) return 1;
    // Under --strict a warning said is a failed run: nothing is written.
    if (report_warnings_as_errors() != 0) return 1;
    data_t header = data_push_rest(&run->arena, 8);
    if (o.list) return list_output(run, &header);
    if (!make_text(&header, [&](data_t* text) {
            return write_header(text, &run->timelines, &run->events);
        })) {
        report_error_about("out of working memory for the header text; ", o.output,
                           " was not written");
        return 1;
    }
    if (o.check) return check_output(o, *run, &header);
    if (o.to_standard_output) {
        // The header itself is what was asked for: no final line after it.
        if (std_out_write_data(&header)) return 0;
        report_error("cannot write the header to standard output");
        return 1;
    }
    if (!guard_output(search_of(o), o.output, run->output_scanned != 0)) return 1;
    if (o.depfile.used != 0 && !write_depfile(o, *run, header)) return 1;
    if (!replace_file(o.output, header)) return 1;
    if (!o.silent) say_final_line(o.output, " generated.\n");
    return 0;
}

} // namespace

// The run, its exit code 0 or 1.
int32_t run_main(int32_t count, char** values) {
    if (!args_init(count, values)) {
        message_t m("error");
        m.add("too many arguments: at most ");
        m.add(ARGS_CAPACITY);
        m.add(", the program's own name included");
        m.send();
        return 1;
    }
    // What was asked for is the text: a failed write fails the run.
    const char version[] = "tagloomsmith " TAGLOOMSMITH_VERSION "\n";
    const char* text = switch_on(OPTION_HELP)        ? USAGE
                       : switch_on(OPTION_HELP_LONG) ? HELP
                       : switch_on(OPTION_VERSION)   ? version
                                                     : nullptr;
    if (text) {
        if (std_out_write(text, text_length(text))) return 0;
        report_error("cannot write to standard output");
        return 1;
    }
    options_t options;
    read_options(&options);
    if (!read_run_options(&options) || options.unknown != 0) return 1;
    if (options.check && options.list) {
        // --list writes nothing and compares nothing: a check must not pass
        // by it.
        report_error("--check and --list do not go together");
        return 1;
    }
    const data_t* paths[] = {&options.output, &options.depfile};
    for (const data_t* path : paths) {
        if (path->used <= FILE_NAME_LIMIT) continue;
        message_t m("error");
        m.add(path == &options.output ? "output path longer than "
                                      : "dependency file path longer than ");
        m.add(FILE_NAME_LIMIT);
        m.add(" bytes: ");
        m.quoted(*path);
        m.send();
        return 1;
    }
    if (options.depfile.used != 0 && options.to_standard_output) {
        report_error("--depfile needs an output file; -o - has none");
        return 1;
    }
    if (options.depfile.used != 0 && !options.check &&
        !guard_depfile(search_of(options), options.depfile, options.output))
        return 1;
    run_t run;
    if (!run_make(&run, options) || !search_and_scan(options, &run)) return 1;
    return write_output(options, &run);
}

int32_t tool_main(int32_t count, char** values) {
    const int32_t code = run_main(count, values);
    // --check tells "regenerate it" (1) from "broken" (2), as diff and cmp
    // do: any other failure of a checking run could not tell.
    int check = 0;
    for (int32_t i = 1; i < count && values; ++i)
        check |= bytes_equal(values[i], text_length(values[i]), "--check", 7);
    if (!check || code == 0) return code;
    return out_of_date ? 1 : 2;
}
