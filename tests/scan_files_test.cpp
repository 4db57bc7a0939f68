#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/threads.h"
#include "tests/test_support.h"
#include "tool/places.h"
#include "tool/scan_files.h"

namespace {

// Everything a scan of the listed files leaves behind, copied out so that
// runs can be compared.
struct outcome_t {
    std::vector<std::string> timelines, events;
    uint64_t timelines_dropped, events_dropped, timelines_lost, events_lost;
    std::string arena; // the arena's used bytes, ids in the order copied
    uint32_t unreadable;
    std::string first_unreadable;

    bool operator==(const outcome_t& o) const {
        return timelines == o.timelines && events == o.events &&
               timelines_dropped == o.timelines_dropped && events_dropped == o.events_dropped &&
               timelines_lost == o.timelines_lost && events_lost == o.events_lost &&
               arena == o.arena && unreadable == o.unreadable &&
               first_unreadable == o.first_unreadable;
    }
};

// Scans the list; with a walk, the threads start on the empty list and take
// the files while the walk adds them.
outcome_t run_scan(file_list_t list, uint64_t arena_size, scan_files_setup_t setup,
                   void (*walk)(file_list_t* list, const void* tree) = nullptr,
                   const void* tree = nullptr) {
    id_tables_t tables;
    id_table_t& timelines = tables.timelines;
    id_table_t& events = tables.events;
    test_block_t arena_block(arena_size + 1), buffer_block(READ_PIECE_SIZE);
    data_t& arena = arena_block.data;
    data_t& buffer = buffer_block.data;
    arena.size = arena_size;
    scan_files_report_t report;
    if (walk) {
        list.count = 0;
        scan_files_t scan = scan_files_begin(&list, setup);
        walk(&list, tree);
        report = scan_files_end(&scan, &buffer, tables.store(&arena));
    } else {
        report = scan_files(&list, &buffer, tables.store(&arena), setup);
    }
    return outcome_t{id_tables_t::ids(timelines),
                     id_tables_t::ids(events),
                     timelines.dropped,
                     events.dropped,
                     timelines.lost,
                     events.lost,
                     std::string((const char*)arena.data, arena.used),
                     report.unreadable,
                     report.first_unreadable ? report.first_unreadable : ""};
}

// A tree of source files dense with calls of both kinds: ids of every
// length, repeated ones, calls split by spaces and line breaks.
struct tree_t {
    std::string root;
    test_block_t arena{1 << 20};
    file_list_t list{};

    tree_t(const char* name, uint32_t files, uint32_t calls_per_file, uint32_t seed,
           bool unreadable_entries) {
        root = make_temp_dir(name);
        std::mt19937 random(seed);
        const char* calls[] = {"profiler_timeline_set_id(", "profiler_event_start(",
                               "profiler_initialize(", "profiler_collapsable_start("};
        for (uint32_t f = 0; f < files; ++f) {
            std::string text = "#include \"profiler.h\"\n";
            for (uint32_t c = 0; c < calls_per_file; ++c) {
                text += "    x = y + z; // profiler_ not a call\n    ";
                text += calls[random() % 4];
                text += (random() % 3 == 0) ? " \n\t" : "";
                text += "id_" + std::to_string(random() % (files * 4)) +
                        std::string(random() % 40, 'q') + ");\n";
            }
            char file_name[32];
            snprintf(file_name, sizeof file_name, "/f%04u.c", f);
            write_file(root + file_name, text);
        }
        if (unreadable_entries) {
            // Listed, never read: a link to nothing and a pipe.
            EXPECT_EQ(symlink("gone.c", (root + "/f0003x.c").c_str()), 0);
            EXPECT_EQ(mkfifo((root + "/f0007x.c").c_str(), 0600), 0);
        }
        list = file_list_make(&arena.data, 1024);
        walk(&list, this);
    }
    // Lists the tree into the list (again: its paths are appended to the
    // arena once more).
    static void walk(file_list_t* list, const void* self) {
        const tree_t* tree = (const tree_t*)self;
        data_t directory = data_make(0, tree->root.size(), (void*)tree->root.data());
        const test_filter_t filter("c", "profiler.h");
        EXPECT_EQ(dir_search(list, &directory, &filter.filter, WALK_FILES), DIR_SEARCH_DONE);
    }
    ~tree_t() { EXPECT_EQ(system(("rm -rf " + root).c_str()), 0); }
};

// Threads take files in whatever order they get to them, on a complete list
// or while the walk adds to it; what comes out must be what one thread
// reading the list in order makes of it, down to the arena's bytes, the
// counts of dropped and lost ids, and which unreadable file is named.
TEST(ScanFiles, AnyNumberOfThreadsGivesTheOneThreadResult) {
    struct case_t {
        const char* name;
        uint32_t files, calls_per_file;
        bool unreadable_entries;
        uint64_t arena_size, scratch_size;
    };
    const case_t cases[] = {
        {"plain", 80, 12, false, 1 << 20, SCAN_SCRATCH_SIZE},
        {"unreadable", 40, 12, true, 1 << 20, SCAN_SCRATCH_SIZE},
        // Over 2048 ids of a kind: later ones dropped, by every thread's
        // own table too.
        {"tables_fill", 60, 200, false, 4 << 20, SCAN_SCRATCH_SIZE},
        // Scratch for a file or two: threads give up and leave files over.
        {"scratch_fills", 50, 40, true, 1 << 20, 3000},
        // The arena runs out: ids lost at the same place, and the threads'
        // dropped ids must not turn into drops where the table has room.
        {"arena_fills", 60, 200, false, 30000, SCAN_SCRATCH_SIZE},
        {"all_fill", 60, 200, true, 30000, 5000},
        // Files of several pieces: ids across the pieces' borders.
        {"big_files", 6, 6000, false, 8 << 20, SCAN_SCRATCH_SIZE},
        {"no_files", 0, 0, false, 1 << 20, SCAN_SCRATCH_SIZE},
    };
    for (const case_t& c : cases) {
        tree_t tree(c.name, c.files, c.calls_per_file, c.files * 7 + 1, c.unreadable_entries);
        ASSERT_EQ(tree.list.count, c.files + (c.unreadable_entries ? 2 : 0)) << c.name;
        const outcome_t one = run_scan(tree.list, c.arena_size, {1, c.scratch_size});
        if (c.unreadable_entries) {
            EXPECT_EQ(one.unreadable, 2u) << c.name;
            EXPECT_EQ(one.first_unreadable, tree.root + "/f0003x.c") << c.name;
        }
        EXPECT_EQ(one.timelines.empty(), c.files == 0) << c.name;
        for (uint32_t threads : {2u, 3u, 5u, THREADS_MAX, THREADS_MAX + 4}) {
            for (int repeat = 0; repeat < 2; ++repeat) {
                const scan_files_setup_t setup{threads, c.scratch_size};
                EXPECT_TRUE(run_scan(tree.list, c.arena_size, setup) == one)
                    << c.name << " with " << threads << " threads";
                EXPECT_TRUE(run_scan(tree.list, c.arena_size, setup, tree_t::walk, &tree) == one)
                    << c.name << " with " << threads << " threads during the walk";
            }
        }
    }
}

// The cases above must reach the states they are about, or they prove
// nothing.
TEST(ScanFiles, TheHardCasesReachTheirLimits) {
    tree_t tree("limits", 60, 200, 60 * 7 + 1, false);
    const outcome_t filled = run_scan(tree.list, 4 << 20, {2, SCAN_SCRATCH_SIZE});
    EXPECT_EQ(filled.timelines.size(), ID_TABLE_CAPACITY);
    EXPECT_GT(filled.timelines_dropped, 0u);
    EXPECT_EQ(filled.timelines_lost + filled.events_lost, 0u);
    const outcome_t starved = run_scan(tree.list, 30000, {2, SCAN_SCRATCH_SIZE});
    EXPECT_LT(starved.timelines.size(), ID_TABLE_CAPACITY);
    EXPECT_GT(starved.timelines_lost, 0u);
    EXPECT_EQ(starved.timelines_dropped, 0u);
}

// Files refused for want of handles, by the threads and again by the
// calling thread, are starved: a run must fail on them, not pass them off
// as unreadable files. The limit is set once the walk is done.
TEST(ScanFiles, FilesRefusedForWantOfHandlesAreStarved) {
    tree_t tree("starved", 6, 2, 5, false);
    test_block_t arena(1 << 20), buffer(READ_PIECE_SIZE);
    id_tables_t tables;
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    const int lowest_free = dup(0);
    close(lowest_free);
    const struct rlimit none_free = {(rlim_t)lowest_free, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none_free), 0);
    const scan_files_report_t report =
        scan_files(&tree.list, &buffer.data, tables.store(&arena.data), {2, 1 << 20});
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(report.starved, 6u);
    EXPECT_EQ(report.starved_error, (uint32_t)EMFILE);
    EXPECT_EQ(report.unreadable, 0u);
}

// A walk with pauses (a cold disk): the threads wait for more files, first
// yielding, then sleeping, and miss none of them.
TEST(ScanFiles, SlowWalkLosesNoFile) {
    tree_t tree("slow", 30, 12, 11, true);
    auto slow_walk = [](file_list_t* list, const void* self) {
        for (int pass = 0; pass < 3; ++pass) {
            if (pass != 0) usleep(20000); // many rounds of waiting
            tree_t::walk(list, self);
        }
    };
    const outcome_t one = run_scan(tree.list, 1 << 20, {1, SCAN_SCRATCH_SIZE}, slow_walk, &tree);
    EXPECT_EQ(one.unreadable, 6u);
    for (uint32_t threads : {2u, 4u})
        EXPECT_TRUE(run_scan(tree.list, 1 << 20, {threads, SCAN_SCRATCH_SIZE}, slow_walk, &tree) ==
                    one)
            << threads << " threads";
}

TEST(ScanFiles, CancelledScanStopsItsThreads) {
    tree_t tree("cancel", 40, 12, 3, false);
    test_block_t arena(1 << 16);
    for (uint32_t threads : {2u, THREADS_MAX}) {
        file_list_t list = file_list_make(&arena.data, 64);
        scan_files_t scan = scan_files_begin(&list, {threads, SCAN_SCRATCH_SIZE});
        ASSERT_NE(scan.workers, nullptr);
        tree_t::walk(&list, &tree);
        scan_files_cancel(&scan); // returns only once every thread has ended
        scan_files_cancel(&scan); // and stops nothing the second time
        list.count = 0;
        scan = scan_files_begin(&list, {threads, SCAN_SCRATCH_SIZE});
        scan_files_cancel(&scan);
    }
    scan_files_t alone = scan_files_begin(&tree.list, {1, SCAN_SCRATCH_SIZE});
    EXPECT_EQ(alone.workers, nullptr);
    scan_files_cancel(&alone);
    scan_files_cancel(nullptr);
}

} // namespace

namespace {

// A file cut short while it is read (an editor saving it) contributes
// nothing: the ids of its first pieces go back. When the cut lands is up
// to the scheduler, so the test tries until one read has failed.
TEST(ScanFile, FileCutShortWhileReadTakesItsIdsBack) {
    std::string root = make_temp_dir("shrink");
    std::string path = root + "/cut.c";
    test_block_t arena(1 << 16), buffer(4096);
    for (int mib : {4, 16}) {
        int failures = 0;
        for (int attempt = 0; attempt < 50 && failures == 0; ++attempt) {
            FILE* f = fopen(path.c_str(), "wb");
            fputs("profiler_event_start(first) ", f);
            for (int i = 0; i < mib * 256; ++i)
                fputs(std::string(4096, ' ').c_str(), f);
            fclose(f);
            id_tables_t tables;
            arena.data.used = 0;
            std::thread cutter([&] {
                usleep(100 + 50 * attempt);
                EXPECT_EQ(truncate(path.c_str(), 8192), 0);
            });
            const int read =
                scan_file(path.c_str(), nullptr, &buffer.data, tables.store(&arena.data)).read;
            cutter.join();
            if (read) continue;
            failures += 1;
            EXPECT_EQ(tables.events.count, 0u) << mib;
            EXPECT_EQ(arena.data.used, 0u) << mib;
        }
        EXPECT_GT(failures, 0) << "no read of " << mib << " MiB was cut short";
    }
}

} // namespace

namespace {

// A file of many pieces: calls and a long identifier across every 1 MiB
// border give the ids a scan of the whole text gives.
TEST(ScanFile, LargeFileReadWhileScanned) {
    std::string text;
    for (int piece = 1; piece <= 10; ++piece) {
        const size_t border = (size_t)piece << 20;
        const std::string call =
            piece % 2 ? "profiler_event_start(  e" + std::to_string(piece) + ")"
                      : "profiler_timeline_set_id_for_index(t" + std::string(3000, 'x') + ", 1)";
        text += std::string(border - text.size() - (size_t)(piece * 3 % 40), ' ') + call;
    }
    std::string root = make_temp_dir("large");
    std::string path = root + "/large.c";
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    test_block_t arena(1 << 20), expected_arena(1 << 20), buffer(4096);
    id_tables_t found, expected;
    ASSERT_EQ(scan_file(path.c_str(), nullptr, &buffer.data, found.store(&arena.data)).read, 1u);
    scan_calls(data_of(text), expected.store(&expected_arena.data));
    EXPECT_EQ(found.timelines.count, 5u);
    EXPECT_EQ(found.events.count, 5u);
    EXPECT_EQ(arena.text(), expected_arena.text());
    EXPECT_EQ(id_tables_t::ids(found.timelines), id_tables_t::ids(expected.timelines));
    EXPECT_EQ(id_tables_t::ids(found.events), id_tables_t::ids(expected.events));
    EXPECT_EQ(system(("rm -rf " + root).c_str()), 0);
}

} // namespace

namespace {

// A file that cannot be read again is listed by its path alone, escaped.
TEST(ListIds, FileNotReadAgainIsItsPathAloneEscaped) {
    const std::string folder = make_temp_dir("gone"), path = folder + "/a\tb.c"; // never written
    uint8_t* paths[1] = {(uint8_t*)path.c_str()};
    uint32_t files[1] = {0};
    file_list_t list{};
    list.paths = paths, list.count = 1;
    id_tables_t tables;
    tables.events.files = files, tables.event("x");
    test_block_t out(4096), buffer(4096);
    ASSERT_EQ(list_ids(&out.data, &list, &tables.timelines, &tables.events, &buffer.data), 1);
    EXPECT_EQ(out.text(), "event  profiler_collapse\nevent  profiler_not_measured\nevent  x  " +
                              folder + "/a\\tb.c\n");
}

} // namespace
