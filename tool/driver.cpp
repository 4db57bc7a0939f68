#include "tool/driver.h"

#include "base/args.h"
#include "base/dir.h"
#include "base/file.h"
#include "base/threads.h"
#include "tool/header.h"
#include "tool/report.h"
#include "tool/scan.h"
#include "tool/scan_files.h"

namespace {

const uint64_t ARENA_SIZE = 0xA00000;
const uint32_t FILE_LIST_CAPACITY = 1024;
// Bytes of an overlong id named in its error.
const uint64_t ID_SHOWN = 40;

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

// What the command line asks for, defaults applied.
struct options_t {
    data_t extensions, exceptions, output;
    uint32_t flags;
    int silent;
};

// The working memory of one run and what the search and scan put in it.
struct run_t {
    data_t arena;
    id_table_t timelines, events;
    file_list_t list;
};

// Every argument no option takes is said, and an option left without its
// value: a typo must not pass for a run that did what was meant.
void warn_unused_arguments(void) {
    const data_t switches[] = {DATA_LITERAL("-h"), DATA_LITERAL("-r"), DATA_LITERAL("-s")};
    const data_t options[] = {DATA_LITERAL("-d"), DATA_LITERAL("-e"), DATA_LITERAL("-x"),
                              DATA_LITERAL("-o")};
    uint8_t taken[ARGS_CAPACITY];
    arg_mark_taken(switches, 3, options, 4, taken);
    const uint32_t count = arg_count();
    for (uint32_t i = 1; i < count; ++i) {
        if (taken[i]) continue;
        message_t m("warning");
        m.add("ignoring argument ");
        m.quoted(arg_at(i));
        m.send();
    }
    if (count < 2) return;
    const data_t last = arg_at(count - 1);
    for (const data_t& option : options) {
        if (!data_equal(&last, &option)) continue;
        message_t m("warning");
        m.add(last);
        // Only the first one of an option counts (every -d does).
        m.add(arg_find(last.data, last.used, 1) == count - 1 ? " has no value; the default is used"
                                                             : " has no value; it is ignored");
        m.send();
    }
}

options_t read_options(void) {
    warn_unused_arguments();
    options_t o{arg_value(DATA_LITERAL("-e"), nullptr), arg_value(DATA_LITERAL("-x"), nullptr),
                arg_value(DATA_LITERAL("-o"), nullptr), WALK_FILES,
                arg_present(DATA_LITERAL("-s"), 0) != 0};
    if (arg_present(DATA_LITERAL("-r"), 0)) o.flags |= WALK_RECURSIVE;
    if (o.extensions.used == 0) o.extensions = DATA_LITERAL("c,cpp,h,hpp");
    if (o.exceptions.used == 0) o.exceptions = DATA_LITERAL("profiler.h");
    if (o.output.used == 0) o.output = DATA_LITERAL("profiler_ids.h");
    return o;
}

// Memory the OS refused: "cannot obtain the 10 MiB of working memory".
void error_refused(uint64_t bytes, const char* what) {
    message_t m("error");
    m.add("cannot obtain the ");
    m.add(bytes >> 20);
    m.add(what);
    m.send();
}

// The arena, the two id tables and the file list, carved in that order.
int run_make(run_t* run) {
    run->arena = data_os_alloc(ARENA_SIZE, nullptr);
    if (!run->arena.data) {
        error_refused(ARENA_SIZE, " MiB of working memory");
        return 0;
    }
    run->events = id_table_make(&run->arena);
    run->timelines = id_table_make(&run->arena);
    run->list = file_list_make(&run->arena, FILE_LIST_CAPACITY);
    if (run->events.records && run->timelines.records && run->list.capacity != 0) return 1;
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
        m.add(FILE_LIST_CAPACITY);
        m.add(" files was reached; further files were not scanned");
        m.send();
    }
}

void warn_table_full(const char* which) {
    message_t m("warning");
    m.add("the limit of ");
    m.add(ID_TABLE_CAPACITY);
    m.add(" ");
    m.add(which);
    m.add(" ids was reached; later ");
    m.add(which);
    m.add(" ids were left out");
    m.send();
}

// Runs one search per directory while threads read the files it lists,
// then puts every file's ids into the tables. 0 on an error, said.
int search_and_scan(const options_t& o, run_t* run) {
    // Many small files cost the kernel more than the scan costs us: every
    // processor opens and reads files, from the moment the walk lists them.
    scan_files_t* scan = scan_files_begin(&run->list, {threads_available(), SCAN_SCRATCH_SIZE});
    uint32_t iterator = 0;
    data_t directory = arg_value(DATA_LITERAL("-d"), &iterator);
    if (directory.used == 0) directory = dir_default();
    for (; directory.used != 0; directory = arg_value(DATA_LITERAL("-d"), &iterator)) {
        const dir_search_result_t result =
            dir_search(&run->list, &directory, &o.extensions, &o.exceptions, o.flags);
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
        if (result != DIR_SEARCH_DONE) warn_directory(directory, result, run->list.search_error);
    }
    report_walk(run->list);
    const dir_failures_t& starved = run->list.starved;
    if (starved.count != 0 || run->list.lost_paths != 0) {
        scan_files_cancel(scan);
        if (starved.count != 0)
            say_failures("error", "cannot search directory ", (const char*)starved.first,
                         starved.error, starved.count, " more directory", " more directories",
                         "; no header written");
        else
            report_error(
                "out of working memory for the paths of the files found; no header written");
        return 0;
    }

    data_t buffer = data_os_alloc(READ_PIECE_SIZE, nullptr);
    if (!buffer.data) {
        scan_files_cancel(scan);
        error_refused(READ_PIECE_SIZE, " MiB read buffer");
        return 0;
    }
    const scan_files_report_t report =
        scan_files_end(scan, &run->list, &buffer, &run->arena, &run->timelines, &run->events);
    if (report.unreadable != 0)
        say_failures("warning", "cannot read ", report.first_unreadable, report.unreadable_error,
                     report.unreadable, " more file", " more files", "");
    if (report.starved != 0) {
        say_failures("error", "cannot read ", report.first_starved, report.starved_error,
                     report.starved, " more file", " more files", "; no header written");
        return 0;
    }
    if (run->timelines.dropped != 0) warn_table_full("timeline");
    if (run->events.dropped != 0) warn_table_full("event");
    if (run->timelines.lost != 0 || run->events.lost != 0) {
        report_error("out of working memory for the ids found; no header written");
        return 0;
    }
    return 1;
}

// An id no header can hold ends the run before anything is written.
int ids_fit_a_header(const run_t& run) {
    const header_problem_t problem = header_problem(&run.timelines, &run.events);
    if (problem.kind == HEADER_FINE) return 1;
    message_t m("error");
    if (problem.kind == HEADER_ID_CLASH) {
        m.add("the id ");
        m.quoted(*problem.id);
        m.add(" would declare ");
        m.add(problem.in_events ? "profiler_event_id_" : "profiler_timeline_id_");
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

// The header text, then the output file (or standard output) and the
// final line. Returns the exit code.
int write_output(const options_t& o, run_t* run) {
    if (!ids_fit_a_header(*run)) return 1;
    data_t header = data_push_rest(&run->arena, 8);
    if (!write_header(&header, &run->timelines, &run->events)) {
        message_t m("error");
        m.add("out of working memory for the header text; ");
        m.quoted(o.output);
        m.add(" was not written");
        m.send();
        return 1;
    }
    const data_t standard_output = DATA_LITERAL("-"); // "-o -": the header to standard output
    if (data_equal(&o.output, &standard_output)) {
        // The header itself is what was asked for: no final line after it.
        if (std_out_write_data(&header)) return 0;
        report_error("cannot write the header to standard output");
        return 1;
    }
    const file_replace_t written =
        file_replace_all(o.output.data, o.output.used, header.data, header.used);
    if (written.outcome == FILE_FAILED) {
        message_t m("error");
        m.add(written.temporary ? "cannot write the temporary file for " : "cannot write ");
        m.quoted(o.output);
        m.reason(written.error);
        m.send();
        return 1;
    }
    if (o.silent) return 0;
    uint8_t line_bytes[FILE_NAME_LIMIT + 16];
    data_t line = data_make(sizeof line_bytes, 0, line_bytes);
    data_append_data(&line, &o.output, 1);
    data_append(&line, " generated.\n", 12, 1);
    std_out_write_data(&line);
    return 0;
}

} // namespace

int32_t tool_main(int32_t count, char** values) {
    if (!args_init(count, values)) {
        message_t m("error");
        m.add("too many arguments: at most ");
        m.add(ARGS_CAPACITY);
        m.add(", the program's own name included");
        m.send();
        return 1;
    }
    if (arg_present(DATA_LITERAL("-h"), 0) || arg_present(DATA_LITERAL("--help"), 0)) {
        std_out_write(USAGE, sizeof USAGE - 1);
        return 0;
    }
    if (arg_present(DATA_LITERAL("--version"), 0)) {
        const char version[] = "tagloomsmith " TAGLOOMSMITH_VERSION "\n";
        std_out_write(version, sizeof version - 1);
        return 0;
    }
    const options_t options = read_options();
    if (options.output.used > FILE_NAME_LIMIT) {
        message_t m("error");
        m.add("output path longer than ");
        m.add(FILE_NAME_LIMIT);
        m.add(" bytes: ");
        m.quoted(options.output);
        m.send();
        return 1;
    }
    run_t run;
    if (!run_make(&run) || !search_and_scan(options, &run)) return 1;
    return write_output(options, &run);
}
