#include "tool/options.h"

#include "base/args.h"
#include "tool/depfile.h"
#include "tool/id_table.h"
#include "tool/report.h"

namespace {

// How far --max-files and --max-ids may raise the limits.
const uint64_t MAX_FILES_LIMIT = 1 << 20;

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
    "  -x NAMES            files, folders, paths to leave out (default: profiler.h)\n"
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
// argument after it, whatever it is (an option's name there is taken, and
// said). Only the first of an option counts, but for -d: every -d names a
// directory.
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

// The option the argument names exactly; OPTION_COUNT when none.
uint32_t option_named(const data_t& argument) {
    for (uint32_t i = 0; i < OPTION_COUNT; ++i) {
        const data_t name = option_name(i);
        if (data_equal(&argument, &name)) return i;
    }
    return OPTION_COUNT;
}

// Whether the argument at index is the value of the option before it, the
// command line read from the left as its user reads it: an option that
// takes a value takes the argument after it, which is then no option.
int is_value(uint32_t index) {
    int value = 0;
    for (uint32_t i = 2; i <= index; ++i) {
        const uint32_t before = option_named(arg_at(i - 1));
        value = !value && before != OPTION_COUNT && OPTIONS[before].takes_value;
    }
    return value;
}

// Where the option first stands as an option, at or after start; 0 when
// it does not. An option's name given as another's value is not counted
// twice, nor as an option left without its value.
uint32_t option_at(uint32_t option, uint32_t start) {
    const data_t name = option_name(option);
    uint32_t at = arg_present(name, start);
    while (at != 0 && is_value(at))
        at = arg_present(name, at + 1);
    return at;
}

// Where the tool reads the option: its first name, even where that is
// another option's value ("-e -o -o a.h" writes "-o"); 0 when absent.
uint32_t option_read_at(uint32_t option) { return arg_present(option_name(option), 1); }

// A switch is on when it stands anywhere after the program's own name,
// even as the value of another option ("-e", "-r" takes "-r" as the
// extensions and searches recursively): that reading is the tool's own,
// and scripts rely on it; the value is warned about instead.
int switch_on(uint32_t option) { return option_read_at(option) != 0; }

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

// An option's name taken as another's value: most often the value is
// missing ("-d $SRC -r" with SRC unset). Both readings stand, so it is a
// warning, which --strict makes an error.
void warn_option_as_value(uint32_t index) {
    const uint32_t before = option_named(arg_at(index - 1));
    const data_t value = arg_at(index);
    message_t m(MESSAGE_WARNING);
    m.add(OPTIONS[before].name);
    m.add(" takes ");
    m.quoted(value);
    m.add(" as its value");
    const int file = before == OPTION_OUTPUT || before == OPTION_DEPFILE;
    if (file || before == OPTION_DIRECTORY) {
        m.add(file ? ": give the file as " : ": give the folder as ");
        m.add(dir_default());
        m.add(value);
        m.add(" if you mean it");
    }
    m.send();
}

// Every argument no option takes is an error, and so is an option left
// without its value (an option's name as a value is warned about): a typo or a script's
// unset variable must not pass for a run that did what was meant. Returns
// how many arguments were not taken.
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
        message_t m(MESSAGE_ERROR);
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
        const uint32_t first = option_read_at(k);
        for (uint32_t at = first == 0 ? 0 : option_at(k, first + 1); at != 0;
             at = option_at(k, at + 1)) {
            unused += 1;
            message_t m(MESSAGE_ERROR);
            m.add(OPTIONS[k].name);
            m.add(" is given more than once; it takes one value");
            if (at + 1 < count) {
                m.add(", not also ");
                m.quoted(arg_at(at + 1));
            }
            m.send();
        }
    }
    for (uint32_t i = 1; i < count; ++i) {
        const uint32_t option = option_named(arg_at(i));
        if (option == OPTION_COUNT) continue;
        if (is_value(i)) {
            warn_option_as_value(i);
        } else if (OPTIONS[option].takes_value && i + 1 == count &&
                   (option == OPTION_DIRECTORY || option_read_at(option) == i)) {
            // Last, without its value (a second one is said above): no
            // default stands in for it, as for an empty value.
            unused += 1;
            message_t m(MESSAGE_ERROR);
            m.add(OPTIONS[option].name);
            m.add(" has no value");
            m.send();
        }
    }
    return unused;
}

// An empty argument after an option is no value, and no default stands in
// for it: a script's unset variable ("-o $OUT") must not pass for a run
// that wrote what was asked.
void error_empty_value(options_t* o, uint32_t option) {
    message_t m(MESSAGE_ERROR);
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
        message_t m(MESSAGE_WARNING);
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
    o->output_exists =
        !o->to_standard_output && file_path_id((const char*)o->output.data, &o->output_file);
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
    message_t m(MESSAGE_ERROR);
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

} // namespace

options_outcome_t options_read(int32_t count, char** values, options_t* o) {
    if (!args_init(count, values)) {
        message_t m(MESSAGE_ERROR);
        m.add("too many arguments: at most ");
        m.add(ARGS_CAPACITY);
        m.add(", the program's own name included");
        m.send();
        return OPTIONS_FAILED;
    }
    // What was asked for is the text: a failed write fails the run.
    const char version[] = "tagloomsmith " TAGLOOMSMITH_VERSION "\n";
    const char* text = switch_on(OPTION_HELP)        ? USAGE
                       : switch_on(OPTION_HELP_LONG) ? HELP
                       : switch_on(OPTION_VERSION)   ? version
                                                     : nullptr;
    if (text) {
        if (std_out_write(text, text_length(text))) return OPTIONS_ANSWERED;
        report_error("cannot write to standard output");
        return OPTIONS_FAILED;
    }
    read_options(o);
    if (!read_run_options(o) || o->unknown != 0) return OPTIONS_FAILED;
    if (o->check && o->list) {
        // --list writes nothing and compares nothing: a check must not pass
        // by it.
        report_error("--check and --list do not go together");
        return OPTIONS_FAILED;
    }
    const data_t* paths[] = {&o->output, &o->depfile};
    for (const data_t* path : paths) {
        if (path->used <= FILE_NAME_LIMIT) continue;
        message_t m(MESSAGE_ERROR);
        m.add(path == &o->output ? "output path longer than "
                                 : "dependency file path longer than ");
        m.add(FILE_NAME_LIMIT);
        m.add(" bytes: ");
        m.quoted(*path);
        m.send();
        return OPTIONS_FAILED;
    }
    if (o->depfile.used != 0 && o->to_standard_output) {
        report_error("--depfile needs an output file; -o - has none");
        return OPTIONS_FAILED;
    }
    if (o->depfile.used != 0 && !o->check &&
        !guard_depfile(options_search(*o), o->depfile, o->output))
        return OPTIONS_FAILED;
    return OPTIONS_RUN;
}

int options_strict(void) { return switch_on(OPTION_STRICT); }

guard_search_t options_search(const options_t& o) {
    return guard_search_t{o.directories, o.directory_count, &o.filter, o.flags};
}
