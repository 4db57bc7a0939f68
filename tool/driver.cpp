#include "driver.h"

#include "../base/args.h"
#include "../base/check.h"
#include "../base/dir.h"
#include "../base/file.h"
#include "../base/format.h"
#include "../base/threads.h"
#include "header.h"
#include "scan.h"
#include "scan_files.h"

namespace {

const uint64_t ARENA_SIZE = 0xA00000;
const uint32_t FILE_LIST_CAPACITY = 1024;

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

// One diagnostic line for standard error, built in a buffer of its own and
// written in one call. Text that does not fit is cut, never overrun.
struct message_t {
    uint8_t bytes[2048];
    data_t line;

    explicit message_t(const char* kind) : bytes{}, line(data_make(sizeof bytes - 1, 0, bytes)) {
        add("tagloomsmith: ");
        add(kind);
        add(": ");
    }
    void add(const void* text, uint64_t length) {
        uint64_t room = line.size - line.used;
        bytes_copy(data_end(&line), text, length < room ? length : room);
        line.used += length < room ? length : room;
    }
    void add(const char* text) { add(text, text_length(text)); }
    void add(const data_t& text) { add(text.data, text.used); }
    void add(uint64_t number) { data_append_unsigned(&line, number, 0, 0, 0); }
    // ": " and the OS's words for what went wrong.
    void reason(uint32_t error) {
        char text[256];
        add(": ");
        if (error == 0)
            add("path too long");
        else
            add(text, file_error_text(error, text, sizeof text));
    }
    void quoted(const data_t& text) {
        add("\"");
        add(text);
        add("\"");
    }
    void send() {
        line.size += 1; // the byte kept back for the line feed
        line.data[line.used++] = '\n';
        std_err_write_data(&line);
    }
};

void error(const char* text) {
    message_t m("error");
    m.add(text);
    m.send();
}

void warn_directory(const data_t& directory, dir_search_result_t result) {
    message_t m("warning");
    if (result == DIR_SEARCH_TOO_LONG) {
        m.add("directory path longer than ");
        m.add(DIR_PATH_CAPACITY - 3);
        m.add(" bytes, not searched: ");
    } else {
        m.add("cannot search directory ");
    }
    m.quoted(directory);
    m.send();
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

// Warnings about what the walk left out.
void report_walk(const file_list_t& list) {
    if (list.long_paths != 0) {
        message_t m("warning");
        m.add("subdirectories whose paths exceed ");
        m.add(DIR_PATH_CAPACITY - 3);
        m.add(" bytes were not searched (");
        m.add(list.long_paths);
        m.add(")");
        m.send();
    }
    if (list.truncated) {
        message_t m("warning");
        m.add("the limit of ");
        m.add(FILE_LIST_CAPACITY);
        m.add(" files was reached; further files were not scanned");
        m.send();
    }
}

// Warns once about the listed files that could not be read.
void report_unreadable(const scan_files_report_t& report) {
    if (report.unreadable == 0) return;
    message_t m("warning");
    m.add("cannot read ");
    m.quoted(data_make(0, text_length(report.first_unreadable), (void*)report.first_unreadable));
    if (report.unreadable > 1) {
        m.add(" (and ");
        m.add(report.unreadable - 1);
        m.add(report.unreadable == 2 ? " more file)" : " more files)");
    }
    m.send();
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
    if (arg_present(DATA_LITERAL("-h"), 0)) {
        std_out_write(USAGE, sizeof USAGE - 1);
        return 0;
    }

    data_t arena = data_os_alloc(ARENA_SIZE, nullptr);
    if (!arena.data) {
        error("cannot obtain the 10 MiB of working memory");
        return 1;
    }
    id_table_t events{(data_t*)data_push(&arena, ID_TABLE_CAPACITY * sizeof(data_t), 8), 0, 0, 0};
    id_table_t timelines{(data_t*)data_push(&arena, ID_TABLE_CAPACITY * sizeof(data_t), 8), 0, 0,
                         0};

    uint32_t iterator = 0;
    data_t directory = arg_value(DATA_LITERAL("-d"), &iterator);
    data_t extensions = arg_value(DATA_LITERAL("-e"), nullptr);
    data_t exceptions = arg_value(DATA_LITERAL("-x"), nullptr);
    data_t output = arg_value(DATA_LITERAL("-o"), nullptr);
    uint32_t flags = WALK_FILES;
    if (arg_present(DATA_LITERAL("-r"), 0)) flags |= WALK_RECURSIVE;
    if (directory.used == 0) directory = DATA_LITERAL(".\\");
    if (extensions.used == 0) extensions = DATA_LITERAL("c,cpp,h,hpp");
    if (exceptions.used == 0) exceptions = DATA_LITERAL("profiler.h");
    if (output.used == 0) output = DATA_LITERAL("profiler_ids.h");

    if (output.used > FILE_NAME_LIMIT) {
        message_t m("error");
        m.add("output path longer than ");
        m.add(FILE_NAME_LIMIT);
        m.add(" bytes: ");
        m.quoted(output);
        m.send();
        return 1;
    }

    file_list_t list = file_list_make(&arena, FILE_LIST_CAPACITY);
    if (list.capacity == 0) {
        error("out of working memory for the file list");
        return 1;
    }
    // Many small files cost the kernel more than the scan costs us: every
    // processor opens and reads files, from the moment the walk lists them.
    scan_files_t* scan = scan_files_begin(&list, {threads_available(), SCAN_SCRATCH_SIZE});
    while (directory.used != 0) {
        dir_search_result_t result = dir_search(&list, &directory, &extensions, &exceptions, flags);
        if (result != DIR_SEARCH_DONE) warn_directory(directory, result);
        directory = arg_value(DATA_LITERAL("-d"), &iterator);
    }
    report_walk(list);
    if (list.lost_paths != 0) {
        scan_files_cancel(scan);
        error("out of working memory for the paths of the files found; no header written");
        return 1;
    }

    data_t buffer = data_os_alloc(READ_PIECE_SIZE, nullptr);
    if (!buffer.data) {
        scan_files_cancel(scan);
        error("cannot obtain the 1 MiB read buffer");
        return 1;
    }
    report_unreadable(scan_files_end(scan, &list, &buffer, &arena, &timelines, &events));
    if (timelines.dropped != 0) warn_table_full("timeline");
    if (events.dropped != 0) warn_table_full("event");
    if (timelines.lost != 0 || events.lost != 0) {
        error("out of working memory for the ids found; no header written");
        return 1;
    }

    data_t header = data_push_rest(&arena, 8);
    if (!write_header(&header, &timelines, &events)) {
        message_t m("error");
        m.add("out of working memory for the header text; ");
        m.quoted(output);
        m.add(" was not written");
        m.send();
        return 1;
    }
    const data_t standard_output = DATA_LITERAL("-"); // "-o -": the header to standard output
    if (data_equal(&output, &standard_output)) {
        // The header itself is what was asked for: no final line after it.
        if (std_out_write_data(&header)) return 0;
        error("cannot write the header to standard output");
        return 1;
    }
    const file_replace_t written =
        file_replace_all(output.data, output.used, header.data, header.used);
    if (written.outcome == FILE_FAILED) {
        message_t m("error");
        m.add(written.temporary ? "cannot write the temporary file for " : "cannot write ");
        m.quoted(output);
        m.reason(written.error);
        m.send();
        return 1;
    }
    if (arg_present(DATA_LITERAL("-s"), 0)) return 0;

    uint8_t line_bytes[FILE_NAME_LIMIT + 16];
    data_t line = data_make(sizeof line_bytes, 0, line_bytes);
    data_append_data(&line, &output, 1);
    data_append(&line, " generated.\n", 12, 1);
    std_out_write_data(&line);
    return 0;
}
