#include "tool/scan_files.h"

#include "base/check.h"
#include "base/file.h"
#include "base/threads.h"
#include "base/utf.h"
#include "tool/scan_search.h"

namespace {

// What one thread made of one file. A file no thread finished stays
// OUTCOME_LEFT (the zero the OS block starts with) for the caller to scan.
enum outcome_state_t : uint32_t { OUTCOME_LEFT = 0, OUTCOME_SCANNED = 1, OUTCOME_UNREADABLE = 2 };

struct outcome_t {
    uint32_t state;
    uint32_t worker;
    uint32_t error;     // OUTCOME_UNREADABLE: why
    uint32_t is_output; // the file is the output file
    // The file's ids: runs in the worker's tables.
    uint32_t timelines_first, timelines_count;
    uint32_t events_first, events_count;
    uint64_t timelines_dropped, events_dropped;
};

// How far the list is: still growing, complete, or given up.
enum list_state_t : uint32_t { LIST_GROWING = 0, LIST_COMPLETE = 1, LIST_CANCELLED = 2 };

struct shared_t {
    const file_list_t* list; // its count grows while the walk runs
    const file_id_t* output; // the output file's identity, or null
    outcome_t* outcomes;     // one for each entry the list can hold
    uint32_t next;           // the next file to take; taken with an atomic add
    uint32_t state;          // a list_state_t
    threads_signal_t signal; // woken for each new entry and at the end
};

struct worker_t {
    shared_t* shared;
    uint32_t index;
    data_t block; // from the OS; holds the rest
    data_t buffer;
    data_t scratch; // the ids' text, in the order found
    id_table_t timelines, events;
};

// Where a scan into these tables and this arena stood before a file, so
// that a file which must contribute nothing can be taken back.
struct scan_mark_t {
    id_table_t timelines, events;
    data_mark_t arena;
};

scan_mark_t mark_take(id_store_t store) {
    return scan_mark_t{*store.timelines, *store.events, data_mark(store.arena)};
}

void mark_restore(const scan_mark_t* mark, id_store_t store) {
    *store.timelines = mark->timelines;
    *store.events = mark->events;
    data_rewind(store.arena, mark->arena);
}

// The worker's own tables and scratch, where it scans.
id_store_t worker_store(worker_t* w) { return id_store_t{&w->scratch, &w->timelines, &w->events}; }

// 1 when entry i is there, 0 when it never will be, -1 while the walk may
// still add it.
int entry_state(const shared_t* shared, uint32_t i) {
    // The state first: once it says complete, the count read after it is
    // the final one.
    const uint32_t state = atomic_load_acquire(&shared->state);
    if (state == LIST_CANCELLED) return 0;
    if (i < atomic_load_acquire(&shared->list->count)) return 1;
    return state == LIST_COMPLETE ? 0 : -1;
}

// Whether entry i is (or will be) on the list; waits while the walk may
// still add it: about a millisecond of yields (the next entry usually comes
// soon), then asleep until the walk adds an entry (a cold disk), without
// holding a processor that a build may want.
int wait_for_entry(shared_t* shared, uint32_t i) {
    struct wanted_t {
        const shared_t* shared;
        uint32_t i;
    } wanted{shared, i};
    threads_signal_wait(
        &shared->signal, 1000,
        [](const void* w) {
            return (int)(entry_state(((const wanted_t*)w)->shared, ((const wanted_t*)w)->i) >= 0);
        },
        &wanted);
    return entry_state(shared, i) == 1;
}

// Takes files in list order, one at a time, until none is left. Each
// thread's files, and so its tables, are in list order too.
void worker_run(void* argument) {
    worker_t* w = (worker_t*)argument;
    shared_t* shared = w->shared;
    for (;;) {
        const uint32_t i = atomic_fetch_add(&shared->next, 1);
        if (!wait_for_entry(shared, i)) return;
        const scan_mark_t before = mark_take(worker_store(w));
        outcome_t* outcome = &shared->outcomes[i];
        // A path the walk could not store is null; the run fails anyway.
        const char* path = (const char*)shared->list->paths[i];
        const scan_file_result_t scanned =
            path ? scan_file(path, shared->output, &w->buffer, worker_store(w))
                 : scan_file_result_t{0, 0, 0};
        if (!scanned.read) {
            outcome->error = scanned.error;
            outcome->state = OUTCOME_UNREADABLE;
            continue;
        }
        if (w->timelines.lost != 0 || w->events.lost != 0) {
            // Scratch is full: the file is left to the caller, and so are
            // the ones this thread would have taken (the others take them).
            mark_restore(&before, worker_store(w));
            return;
        }
        *outcome = outcome_t{OUTCOME_SCANNED,
                             w->index,
                             0,
                             scanned.is_output,
                             (uint32_t)before.timelines.count,
                             (uint32_t)(w->timelines.count - before.timelines.count),
                             (uint32_t)before.events.count,
                             (uint32_t)(w->events.count - before.events.count),
                             w->timelines.dropped - before.timelines.dropped,
                             w->events.dropped - before.events.dropped};
    }
}

// Adds one file's ids, found by a worker, as a scan of the file here would
// have. The two runs come back in the order found: each id's copy follows
// the one before it in the worker's scratch, and that order decides what
// the arena can still hold. Returns 0 when it cannot be exact (ids the
// worker dropped that this table still has room for: an id was lost here);
// the caller then takes the file back and scans it itself.
int replay(const worker_t* w, const outcome_t* outcome, id_store_t store) {
    id_table_t* timelines = store.timelines;
    id_table_t* events = store.events;
    const data_t* t = w->timelines.records + outcome->timelines_first;
    const data_t* t_end = t + outcome->timelines_count;
    const data_t* e = w->events.records + outcome->events_first;
    const data_t* e_end = e + outcome->events_count;
    while (t < t_end || e < e_end) {
        if (e == e_end || (t < t_end && t->data < e->data))
            id_table_add(timelines, store.arena, t++);
        else
            id_table_add(events, store.arena, e++);
    }
    // A worker drops an id only once its table is full, after all its
    // stored ids of that kind; here they are dropped too when this table is
    // full by then.
    if (outcome->timelines_dropped != 0 && timelines->count < timelines->capacity) return 0;
    if (outcome->events_dropped != 0 && events->count < events->capacity) return 0;
    timelines->dropped += outcome->timelines_dropped;
    events->dropped += outcome->events_dropped;
    return 1;
}

void note_unreadable(scan_files_report_t* report, const file_list_t* list, uint32_t i,
                     uint32_t error) {
    if (file_error_is_resource(error)) {
        if (report->starved++ != 0) return;
        report->first_starved = (const char*)list->paths[i];
        report->starved_error = error;
        return;
    }
    if (report->unreadable++ != 0) return;
    report->first_unreadable = (const char*)list->paths[i];
    report->unreadable_error = error;
}

int worker_make(worker_t* w, shared_t* shared, uint32_t index, uint64_t scratch_size,
                uint64_t id_capacity) {
    // Tables as large as the caller's: a worker drops an id only where the
    // caller's table is full too.
    const uint64_t records = id_capacity * sizeof(data_t);
    w->shared = shared;
    w->index = index;
    w->block = data_os_alloc(2 * records + THREAD_PIECE_SIZE + scratch_size, nullptr);
    if (!w->block.data) return 0;
    w->timelines = id_table_make(&w->block, id_capacity);
    w->events = id_table_make(&w->block, id_capacity);
    w->buffer = data_make(THREAD_PIECE_SIZE, 0, data_push(&w->block, THREAD_PIECE_SIZE, 8));
    w->scratch = data_make(scratch_size, 0, data_push(&w->block, scratch_size, 8));
    return 1;
}

// The ids the tables gained from file i since the counts before came from
// it, where the tables track their files.
void note_file(id_table_t* table, uint64_t before, uint32_t i) {
    if (!table->files) return;
    for (uint64_t k = before; k < table->count; ++k)
        table->files[k] = i;
}

} // namespace

// Lives at the start of an OS block of its own, the outcomes after it.
struct scan_workers_t {
    data_t block;
    file_list_t* list;
    shared_t shared;
    worker_t worker[THREADS_MAX];
    uint32_t ready; // workers made; worker 0 is the calling thread's
    threads_t threads;
};

namespace {

// The list will not grow any more: every sleeper wakes to see it.
void list_settled(scan_workers_t* workers, uint32_t state) {
    atomic_store_release(&workers->shared.state, state);
    threads_signal_wake(&workers->shared.signal, THREADS_MAX);
}

// The threads' memory goes back to the OS.
void workers_release(scan_workers_t* workers) {
    workers->list->signal = nullptr;
    for (uint32_t i = 0; i < workers->ready; ++i)
        data_os_free(&workers->worker[i].block);
    threads_signal_free(&workers->shared.signal);
    data_t block = workers->block;
    data_os_free(&block);
}

} // namespace

scan_file_result_t scan_file(const char* path, const file_id_t* output, data_t* buffer,
                             id_store_t store) {
    const scan_mark_t before = mark_take(store);
    file_reader_t reader;
    if (!file_reader_open(&reader, path, 0)) return scan_file_result_t{0, file_last_error(), 0};
    file_id_t id;
    const uint32_t is_output = output && file_reader_id(&reader, &id) && file_id_equal(id, *output);
    scan_t scan;
    scan_begin(&scan, store);
    // Piece by piece through the buffer, each scanned while it is in the
    // cache; what a piece leaves unconsumed (the start of a literal it cannot
    // confirm yet) comes again at the start of the next. (A thread reading
    // ahead of the scan cost more in waking and waiting than the scan, at
    // a look per byte, takes.)
    int failed = 0;
    for (uint64_t kept = 0;;) {
        const uint64_t n =
            kept + file_reader_read(&reader, buffer->data + kept, buffer->size - kept, &failed);
        if (failed) break;
        const int last = reader.remaining == 0;
        const uint64_t consumed = scan_feed(&scan, buffer->data, n, last);
        if (last) break;
        kept = n - consumed;
        bytes_copy(buffer->data, buffer->data + consumed, kept); // forward: never overlaps badly
    }
    const uint32_t error = failed ? file_last_error() : 0;
    file_reader_close(&reader);
    if (failed) mark_restore(&before, store);
    return scan_file_result_t{!failed, error, is_output};
}

int scan_places(const char* path, data_t* buffer, int events, scan_place_t* places,
                uint32_t count) {
    file_reader_t reader;
    if (!file_reader_open(&reader, path, 0)) return 0;
    // Tables of no room: the ids are counted, none is copied.
    data_t no_arena = data_make(0, 0, nullptr);
    id_table_t timelines{nullptr, 0, 0, 0, 0}, found_events{nullptr, 0, 0, 0, 0};
    scan_t scan;
    scan_begin(&scan, id_store_t{&no_arena, &timelines, &found_events});
    scan_find_places(&scan, events ? &found_events : &timelines, places, count);
    // Lines are counted up to each place as it is found, then through the
    // rest of the piece, before the buffer takes the next. An id is placed
    // when it ends, which may be pieces after it began: where an id still
    // open at a piece's end starts is counted then, while its bytes are in
    // the buffer, and kept for it (its line is the line counted: an id holds
    // no line feed).
    uint64_t counted = 0, line = 1, open_at = SCAN_NONE_OPEN;
    utf8_columns_t columns{}, open_columns{};
    uint32_t placed = 0;
    int failed = 0;
    for (uint64_t kept = 0;;) {
        const uint64_t base = scan.fed;
        const uint64_t n =
            kept + file_reader_read(&reader, buffer->data + kept, buffer->size - kept, &failed);
        if (failed) break;
        const int last = reader.remaining == 0;
        const uint64_t consumed = scan_feed(&scan, buffer->data, n, last);
        auto count_to = [&](uint64_t to) {
            for (; counted < to; ++counted) {
                const uint8_t byte = buffer->data[counted - base];
                if (byte != '\n') {
                    utf8_columns_add(&columns, byte);
                    continue;
                }
                line += 1;
                columns = utf8_columns_t{};
            }
        };
        for (; placed < scan.place_next; ++placed) {
            count_to(places[placed].offset);
            const int began_before = places[placed].offset == open_at;
            const utf8_columns_t& at = began_before ? open_columns : columns;
            places[placed].line = line;
            places[placed].column = at.display + 1;
            places[placed].character = at.characters + 1;
        }
        const uint64_t open = scan_open_identifier(&scan);
        if (open != SCAN_NONE_OPEN && open != open_at) {
            count_to(open);
            open_at = open;
            open_columns = columns;
        }
        count_to(base + consumed);
        if (last) break;
        kept = n - consumed;
        bytes_copy(buffer->data, buffer->data + consumed, kept); // as scan_file does
    }
    file_reader_close(&reader);
    return !failed;
}

scan_files_t scan_files_begin(file_list_t* list, scan_files_setup_t setup) {
    scan_files_t scan{list, setup.output, nullptr};
    const uint32_t threads = setup.threads < THREADS_MAX ? setup.threads : THREADS_MAX;
    if (threads < 2) return scan;
    // Settled before any thread searches, so that none writes it.
    scan_search_width(0);
    data_t block =
        data_os_alloc(sizeof(scan_workers_t) + list->capacity * sizeof(outcome_t), nullptr);
    if (!block.data) return scan;
    scan_workers_t* workers = (scan_workers_t*)data_push(&block, sizeof(scan_workers_t), 8);
    workers->block = block;
    workers->list = list;
    workers->shared = shared_t{list, setup.output, (outcome_t*)(workers + 1), 0, LIST_GROWING, {}};
    threads_signal_make(&workers->shared.signal);
    for (; workers->ready < threads; ++workers->ready) {
        worker_t* w = &workers->worker[workers->ready];
        if (!worker_make(w, &workers->shared, workers->ready, setup.scratch_size,
                         setup.id_capacity))
            break;
    }
    if (workers->ready < 2) {
        workers_release(workers);
        return scan;
    }
    list->signal = &workers->shared.signal;
    void* arguments[THREADS_MAX];
    for (uint32_t i = 1; i < workers->ready; ++i)
        arguments[i - 1] = &workers->worker[i];
    threads_start(&workers->threads, worker_run, arguments, workers->ready - 1);
    scan.workers = workers;
    return scan;
}

void scan_files_cancel(scan_files_t* scan) {
    if (!scan || !scan->workers) return;
    list_settled(scan->workers, LIST_CANCELLED);
    threads_wait(&scan->workers->threads);
    workers_release(scan->workers);
    scan->workers = nullptr;
}

scan_files_report_t scan_files_end(scan_files_t* scan, data_t* buffer, id_store_t store) {
    scan_files_report_t report{0, nullptr, 0, 0, nullptr, 0, 0, 0};
    scan_workers_t* workers = scan->workers;
    const file_list_t* list = scan->list;
    if (workers) {
        list_settled(workers, LIST_COMPLETE);
        worker_run(&workers->worker[0]);
        threads_wait(&workers->threads);
    }
    for (uint32_t i = 0; i < list->count; ++i) {
        CHECK(list->is_directory[i] == 0);
        const outcome_t* outcome = workers ? &workers->shared.outcomes[i] : nullptr;
        // A file a thread found unreadable for want of handles or memory
        // is read again here, now that the threads hold none.
        if (outcome && outcome->state == OUTCOME_UNREADABLE &&
            !file_error_is_resource(outcome->error)) {
            note_unreadable(&report, list, i, outcome->error);
            continue;
        }
        const uint64_t timelines_before = store.timelines->count;
        const uint64_t events_before = store.events->count;
        uint32_t is_output = 0, replayed = 0;
        if (outcome && outcome->state == OUTCOME_SCANNED) {
            const scan_mark_t before = mark_take(store);
            replayed = replay(&workers->worker[outcome->worker], outcome, store);
            if (replayed)
                is_output = outcome->is_output;
            else
                mark_restore(&before, store);
        }
        if (!replayed) {
            const scan_file_result_t scanned =
                scan_file((const char*)list->paths[i], scan->output, buffer, store);
            if (!scanned.read) note_unreadable(&report, list, i, scanned.error);
            is_output = scanned.is_output;
        }
        note_file(store.timelines, timelines_before, i);
        note_file(store.events, events_before, i);
        if (is_output && !report.output_scanned) {
            report.output_scanned = 1;
            report.output_index = i;
        }
    }
    if (workers) workers_release(workers);
    scan->workers = nullptr;
    return report;
}

scan_files_report_t scan_files(file_list_t* list, data_t* buffer, id_store_t store,
                               scan_files_setup_t setup) {
    scan_files_t scan = scan_files_begin(list, setup);
    return scan_files_end(&scan, buffer, store);
}
