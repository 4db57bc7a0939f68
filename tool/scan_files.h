#pragma once

#include "base/dir.h"
#include "base/file.h"
#include "tool/scan.h"

// Scanning the listed files, spread over threads, with the result of one
// thread scanning them in list order: the same ids in the same order, the
// same arena bytes, the same counts.

// Files go through buffers of this size, piece by piece, so memory does not
// grow with the size of a file or of the tree.
const uint64_t READ_PIECE_SIZE = 1 << 20;

// The pieces of the threads' own buffers: smaller, so that many processors
// do not add up to much memory; reading in larger pieces gains nothing.
const uint64_t THREAD_PIECE_SIZE = 256 << 10;

// Text of the ids one thread finds before they are put in list order; a
// thread that fills it leaves its later files to the caller.
const uint64_t SCAN_SCRATCH_SIZE = 4 << 20;

// What scan_file made of one file.
struct scan_file_result_t {
    uint32_t read;      // 1 when it was read whole
    uint32_t error;     // why it was not: the OS's error
    uint32_t is_output; // 1 when it is the output file
};

// scan_file scans one file through the buffer (any size above
// SCAN_KEEP_MAX). A file that cannot be read whole contributes nothing:
// what its first pieces added is taken back. output, when not null, is the
// identity of the output file, which the result then says the file is or
// is not.
scan_file_result_t scan_file(const char* path, const file_id_t* output, data_t* buffer,
                             id_store_t store);

// scan_places reads the file again and fills in the places of the ids it
// gives the timeline table (events 0) or the event table (events 1) at the
// places' ordinals, which must ascend. It returns 0 when the file cannot be
// read; a place not found (the file changed) keeps line 0.
int scan_places(const char* path, data_t* buffer, int events, scan_place_t* places, uint32_t count);

// The files that could not be read: how many, the first in list order and
// why. A file refused for want of handles or memory is tried again on the
// calling thread once the others have let go of theirs; starved counts
// those that failed even then (the ids found are then incomplete).
struct scan_files_report_t {
    uint32_t unreadable;
    const char* first_unreadable;
    uint32_t unreadable_error;
    uint32_t starved;
    const char* first_starved;
    uint32_t starved_error;
    int output_scanned;    // 1 when a listed file is the output
    uint32_t output_index; // then the list index of the first that is
};

struct scan_files_setup_t {
    uint32_t threads;                  // at most THREADS_MAX; 1 scans on the calling thread only
    uint64_t scratch_size;             // SCAN_SCRATCH_SIZE but in tests
    const file_id_t* output = nullptr; // the output file's identity, if there is one
    uint64_t id_capacity = ID_TABLE_CAPACITY; // the capacity of the caller's id tables
};

// The threads that scan a list's files, made by scan_files_begin.
struct scan_workers_t;

// A scan of the listed files: threads that scan them while the list is
// still being made, each file taken as soon as the walk has added it.
struct scan_files_t {
    file_list_t* list;
    const file_id_t* output; // the output file's identity, or null
    scan_workers_t* workers; // null while the calling thread scans alone
};

// scan_files_begin starts threads - 1 threads on the list (the calling
// thread joins them at the end). With one thread asked for, or when the OS
// refuses the memory, the scan is left to the calling thread alone.
scan_files_t scan_files_begin(file_list_t* list, scan_files_setup_t setup);

// scan_files_end is called once the list is complete: it scans what is
// left (on the calling thread too), waits for the threads, puts every
// file's ids into the store in list order (and, where the tables track
// their files, the list index of each id's file). buffer (READ_PIECE_SIZE
// bytes) is the calling thread's. It returns what could not be read, and
// where the output was met.
scan_files_report_t scan_files_end(scan_files_t* scan, data_t* buffer, id_store_t store);

// scan_files_cancel ends the run without a scan: the threads stop after
// their current file. A scan ended or cancelled has no threads left, and
// cancelling it does nothing.
void scan_files_cancel(scan_files_t* scan);

// scan_files begins and ends on a complete list and returns the report.
scan_files_report_t scan_files(file_list_t* list, data_t* buffer, id_store_t store,
                               scan_files_setup_t setup);
