#include "tool/driver.h"

#include "base/dir.h"
#include "base/file.h"
#include "base/threads.h"
#include "tool/check.h"
#include "tool/depfile.h"
#include "tool/guard.h"
#include "tool/header.h"
#include "tool/options.h"
#include "tool/places.h"
#include "tool/report.h"
#include "tool/scan.h"
#include "tool/scan_files.h"

namespace {

const uint64_t ARENA_SIZE = 0xA00000;
const uint32_t FILE_LIST_CAPACITY = 1024;
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

// Folders a dependency file lists at most: a tree raised past the default
// files has more folders too.
uint32_t folder_capacity(const options_t& o) {
    return o.max_files > DEPFILE_FOLDER_CAPACITY ? o.max_files : DEPFILE_FOLDER_CAPACITY;
}

// The working memory a run of these limits needs: as much as always within
// the defaults; with a limit raised, room for every file and id the limits
// let in, and never less than the default's: ids longer than the room
// counted for them fit in the default's rest, and raising one limit while
// lowering the other must not break a run that works at the defaults.
uint64_t arena_size(const options_t& o) {
    if (o.max_files <= FILE_LIST_CAPACITY && o.max_ids <= ID_TABLE_CAPACITY) return ARENA_SIZE;
    uint64_t size = ARENA_SLACK + o.max_files * BYTES_PER_FILE + 2 * o.max_ids * BYTES_PER_ID;
    if (o.depfile.used != 0) size += folder_capacity(o) * BYTES_PER_FOLDER;
    return size > ARENA_SIZE ? size : ARENA_SIZE;
}

// Memory the OS refused: "cannot obtain the 10 MiB of working memory".
void error_refused(uint64_t bytes, const char* what) {
    message_t m(MESSAGE_ERROR);
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
    message_t m(MESSAGE_WARNING);
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

// Folders or files that failed alike, said in one line: the first, why it
// failed, and how many more ("cannot read "a.c": ... (and 2 more files)").
struct failures_said_t {
    message_kind_t kind;
    int folders;       // folders that could not be searched, else files not read
    const char* first; // the first one's path; null when it could not be kept
    uint32_t error;    // the OS's reason for the first
    uint64_t count;
    const char* after; // "; no header written" for an error, else ""
};

void say_failures(const failures_said_t& said) {
    message_t m(said.kind);
    m.add(said.folders ? "cannot search directory " : "cannot read ");
    m.quoted(said.first ? said.first : "");
    m.reason(said.error);
    m.others(said.count - 1, said.folders ? " more directory" : " more file",
             said.folders ? " more directories" : " more files");
    m.add(said.after);
    m.send();
}

// Warnings about what the walk left out.
void report_walk(const file_list_t& list) {
    if (list.long_paths != 0) {
        message_t m(MESSAGE_WARNING);
        m.add("subdirectories whose paths exceed ");
        m.add(DIR_PATH_LIMIT);
        m.add(" bytes were not searched (");
        m.add(list.long_paths);
        m.add(")");
        m.send();
    }
    const dir_failures_t& u = list.unsearchable;
    if (u.count != 0)
        say_failures({MESSAGE_WARNING, 1, (const char*)u.first, u.error, u.count, ""});
    if (list.truncated) {
        message_t m(MESSAGE_WARNING);
        m.add("the limit of ");
        m.add(list.capacity);
        m.add(list.capacity == 1 ? " file" : " files");
        m.add(" was reached; raise it with --max-files");
        m.send();
    }
}

void warn_table_full(const char* which, uint64_t capacity) {
    message_t m(MESSAGE_WARNING);
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
            message_t m(MESSAGE_ERROR);
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
        message_t m(MESSAGE_ERROR);
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
        say_failures({MESSAGE_ERROR, 1, (const char*)starved.first, starved.error, starved.count,
                      "; no header written"});
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
        say_failures({MESSAGE_WARNING, 0, report.first_unreadable, report.unreadable_error,
                      report.unreadable, ""});
    if (report.starved != 0) {
        say_failures({MESSAGE_ERROR, 0, report.first_starved, report.starved_error, report.starved,
                      "; no header written"});
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
    message_t m(MESSAGE_WARNING);
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
    scan_files_t scan =
        scan_files_begin(&run->list, {threads_available(), SCAN_SCRATCH_SIZE,
                                      o.output_exists ? &o.output_file : nullptr, o.max_ids});
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
    message_t m(MESSAGE_ERROR, placed ? &place : nullptr);
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

// Puts the text into the file, said when it fails. 0 on a failure.
int replace_file(const data_t& name, const data_t& text) {
    const file_replace_t written = file_replace_all(name.data, name.used, text.data, text.used);
    if (written.outcome != FILE_FAILED) return 1;
    message_t m(MESSAGE_ERROR);
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
        message_t m(MESSAGE_ERROR);
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
    if (!guard_output(options_search(o), o.output, run.output_scanned != 0)) return 1;
    const int same = file_holds_text((const char*)o.output.data, header->data, header->used);
    const uint32_t error = file_last_error();
    file_id_t id;
    if (same == -1 && file_path_id((const char*)o.output.data, &id)) {
        // There, but not to be read: whether it is up to date is unknown.
        message_t m(MESSAGE_ERROR);
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
    message_t m(MESSAGE_ERROR);
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
    if (!guard_output(options_search(o), o.output, run->output_scanned != 0)) return 1;
    if (o.depfile.used != 0 && !write_depfile(o, *run, header)) return 1;
    if (!replace_file(o.output, header)) return 1;
    if (!o.silent) say_final_line(o.output, " generated.\n");
    return 0;
}

} // namespace

// The run, its exit code 0 or 1.
int32_t run_main(int32_t count, char** values) {
    options_t options;
    const options_outcome_t read = options_read(count, values, &options);
    if (read != OPTIONS_RUN) return read == OPTIONS_ANSWERED ? 0 : 1;
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
