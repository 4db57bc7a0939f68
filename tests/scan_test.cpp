#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/naive_scan.h"
#include "tests/test_support.h"
#include "tool/scan.h"
#include "tool/scan_search.h"

namespace {

// Tables and an arena for one scan, the way the driver sets them up.
struct scan_fixture_t : id_tables_t {
    std::vector<uint8_t> arena_bytes;
    data_t arena;

    explicit scan_fixture_t(uint64_t arena_size = 1 << 20)
        : arena_bytes(arena_size), arena(data_make(arena_size, 0, arena_bytes.data())) {}

    void scan(const std::string& text) { scan_calls(data_of(text), store(&arena)); }
    // Ids as the scanner stores them: size equal to used.
    static std::vector<std::string> ids(const id_table_t& table) {
        for (uint64_t i = 0; i < table.count; ++i)
            EXPECT_EQ(table.records[i].size, table.records[i].used);
        return id_tables_t::ids(table);
    }
};

using ids_t = std::vector<std::string>;

TEST(CallLiterals, OrderAndLengths) {
    struct {
        const char* text;
        uint64_t length;
    } expected[] = {
        {"profiler_initialize(", 20},
        {"profiler_timeline_initialize(", 29},
        {"profiler_timeline_id_declaration(", 33},
        {"profiler_timeline_set_id(", 25},
        {"profiler_timeline_set_id_for_index(", 35},
        {"profiler_event_start(", 21},
        {"profiler_collapsable_start(", 27},
    };
    for (uint32_t i = 0; i < CALL_LITERAL_COUNT; ++i) {
        data_t literal = call_literal(i);
        EXPECT_EQ(std::string((const char*)literal.data, literal.used), expected[i].text);
        EXPECT_EQ(literal.used, expected[i].length);
        EXPECT_EQ(literal.size, expected[i].length + 1);
    }
}

// What real code says besides the calls, long enough for every search width.
const std::string NEAR_MISSES =
    "profiler_event_end(); profiler_timeline_end(); p->profiler_enabled = 1; "
    "log(\"profiler_ frame %d\"); #include \"profiler.h\" profiler_flags |= 1; "
    "profiler_timeline_set_i(x) profiler_initializ(y) profiler_event_star(z) "
    "profiler_collapsable_end(w) profiler_timeline_id_declare(v) ";

TEST(ScanCalls, EdgeCases) {
    struct {
        const char* name;
        std::string text;
        ids_t timelines, events;
    } cases[] = {
        {"whitespace after paren", "profiler_event_start( \t\r\n  frame_tick)", {}, {"frame_tick"}},
        {"longest literal wins", "profiler_timeline_set_id_for_index(render, 2)", {"render"}, {}},
        {"short set id", "profiler_timeline_set_id(render)", {"render"}, {}},
        {"initialize", "profiler_initialize(main_timeline);", {"main_timeline"}, {}},
        {"all timeline calls",
         "profiler_timeline_initialize(a) profiler_timeline_id_declaration(b)",
         {"a", "b"},
         {}},
        {"collapsable", "profiler_collapsable_start(c)", {}, {"c"}},
        {"closing paren", "profiler_event_start()", {}, {}},
        {"string literal", "profiler_event_start(\"x\") profiler_event_start(y)", {}, {"y"}},
        {"space before paren", "profiler_event_start (x)", {}, {}},
        {"ninth byte not underscore", "profilerXevent_start(x)", {}, {}},
        {"inside longer name", "xprofiler_event_start(a1)", {}, {"a1"}},
        {"my_ prefix", "my_profiler_event_start(x)", {}, {"x"}},
        {"leading digit", "profiler_event_start(9lives)", {}, {"9lives"}},
        {"ends after literal", "profiler_collapsable_start(", {}, {}},
        {"ends in literal", "profiler_collapsable_sta", {}, {}},
        {"high byte ends id", "profiler_event_start(ab\x80z)", {}, {"ab"}},
        {"high byte first", "profiler_event_start(\xC3\xA9t\xC3\xA9)", {}, {}},
        {"two on a line", "profiler_event_start(a); profiler_event_start(b);", {}, {"a", "b"}},
        {"duplicates kept", "profiler_event_start(d) profiler_event_start(d)", {}, {"d", "d"}},
        {"nested prefix", "profiler_profiler_event_start(n)", {}, {"n"}},
        {"id is a literal",
         "profiler_event_start(profiler_event_start(q))",
         {},
         {"profiler_event_start"}},
        {"case matters", "PROFILER_event_start(a) profiler_Event_start(b)", {}, {}},
        {"id ends the text", "profiler_event_start(last", {}, {"last"}},
        {"near misses only", NEAR_MISSES + NEAR_MISSES, {}, {}},
        {"calls among near misses",
         NEAR_MISSES + "profiler_timeline_set_id_for_index(a, 1)" + NEAR_MISSES +
             "profiler_collapsable_start(b)" + NEAR_MISSES + "profiler_timeline_set_id(c)",
         {"a", "c"},
         {"b"}},
        {"empty", "", {}, {}},
    };
    for (uint32_t width : {SCAN_WIDTH_16, SCAN_WIDTH_32}) {
        scan_search_width(width);
        for (auto& c : cases) {
            scan_fixture_t f;
            f.scan(c.text);
            EXPECT_EQ(scan_fixture_t::ids(f.timelines), c.timelines) << c.name << " " << width;
            EXPECT_EQ(scan_fixture_t::ids(f.events), c.events) << c.name << " " << width;
        }
    }
}

TEST(ScanCalls, SearchWidths) {
    EXPECT_EQ(scan_search_width(SCAN_WIDTH_16), SCAN_WIDTH_16);
    uint32_t wide = scan_search_width(SCAN_WIDTH_32);
    EXPECT_TRUE(wide == SCAN_WIDTH_32 || wide == SCAN_WIDTH_16);
    // Long texts, so that every width's blocks are used (and the wide
    // search's stretches of pairs alone), with a call at each offset from
    // the start and from the end, and another one far after it.
    for (uint32_t width : {SCAN_WIDTH_16, SCAN_WIDTH_32}) {
        scan_search_width(width);
        for (size_t at = 0; at < 400; ++at) {
            std::string text = std::string(at, 'p') + "profiler_event_start(x)" +
                               std::string(at % 7, '_') + std::string(at + 600, 'p') +
                               "profiler_initialize(y)";
            scan_fixture_t f;
            f.scan(text);
            EXPECT_EQ(scan_fixture_t::ids(f.events), (ids_t{"x"})) << width << " " << at;
            EXPECT_EQ(scan_fixture_t::ids(f.timelines), (ids_t{"y"})) << width << " " << at;
        }
    }
}

TEST(ScanCalls, NullTextIsEmpty) {
    scan_fixture_t f;
    scan_calls(data_t{}, f.store(&f.arena));
    EXPECT_EQ(f.timelines.count + f.events.count, 0u);
}

TEST(ScanCalls, EachTableStopsAtItsOwnCapacity) {
    scan_fixture_t f(1 << 22);
    std::string text;
    for (uint64_t i = 0; i < ID_TABLE_CAPACITY + 3; ++i)
        text += "profiler_initialize(t" + std::to_string(i) + ")\n";
    for (uint64_t i = 0; i < 10; ++i)
        text += "profiler_event_start(e" + std::to_string(i) + ")\n";
    f.scan(text);
    EXPECT_EQ(f.timelines.count, ID_TABLE_CAPACITY);
    EXPECT_EQ(f.timelines.dropped, 3u);
    EXPECT_EQ(f.events.count, 10u);
    auto timelines = scan_fixture_t::ids(f.timelines);
    EXPECT_EQ(timelines.back(), "t2047");
    f.scan("profiler_event_start(late) profiler_timeline_set_id(late)");
    EXPECT_EQ(f.events.count, 11u);
    EXPECT_EQ(f.timelines.dropped, 4u);
}

TEST(ScanCalls, IdentifierCopyFailsWhenTheArenaIsFull) {
    scan_fixture_t f(8);
    f.scan("profiler_event_start(abcdefghij) profiler_event_start(abc) profiler_event_start(x)");
    // The long id does not fit: its slot is cleared and reused by the next.
    ASSERT_EQ(f.events.count, 2u);
    EXPECT_EQ(f.events.lost, 1u);
    EXPECT_EQ(scan_fixture_t::ids(f.events), (ids_t{"abc", "x"}));
    EXPECT_EQ(f.events.records[2].used, 0u);
    EXPECT_EQ(f.events.records[2].size, 0u);
    EXPECT_EQ(f.arena.used, 4u);
}

TEST(ScanCalls, TablesAccumulateAcrossTexts) {
    scan_fixture_t f;
    f.scan("profiler_event_start(a)");
    f.scan("profiler_initialize(b) profiler_event_start(c)");
    EXPECT_EQ(scan_fixture_t::ids(f.events), (ids_t{"a", "c"}));
    EXPECT_EQ(scan_fixture_t::ids(f.timelines), (ids_t{"b"}));
}

// Random texts built from pieces that stress the matcher: every literal,
// truncated literals, the bare prefix, whitespace, identifier bytes, high
// bytes and parentheses. The fast scanner must store exactly what the
// seven-literal reference stores.
TEST(ScanCalls, AgreesWithTheNaiveScanOnRandomTexts) {
    std::vector<std::string> pieces = {
        "profiler_", "profiler", "(",  ")",  " ", "\t",  "\n",
        "\r",        "\v",       "\f", "a",  "Z", "_",   "7",
        "\x80",      "\xff",     ",",  "\"", "p", "pro", "profiler_profiler_",
        "timeline_", "event_"};
    for (uint32_t i = 0; i < CALL_LITERAL_COUNT; ++i) {
        data_t literal = call_literal(i);
        std::string s((const char*)literal.data, literal.used);
        pieces.push_back(s);
        pieces.push_back(s.substr(0, s.size() - 1));
        pieces.push_back(s.substr(9));
    }
    std::mt19937 rng(20261208);
    for (int round = 0; round < 8000; ++round) {
        // Both search widths, where the processor has the wider one.
        scan_search_width(round % 2 ? SCAN_WIDTH_32 : SCAN_WIDTH_16);
        std::string text;
        int n = (int)(rng() % 40);
        for (int k = 0; k < n; ++k)
            text += pieces[rng() % pieces.size()];
        scan_fixture_t f;
        f.scan(text);
        naive_ids_t expected = naive_scan((const uint8_t*)text.data(), text.size());
        ASSERT_EQ(scan_fixture_t::ids(f.timelines), expected.timelines) << text;
        ASSERT_EQ(scan_fixture_t::ids(f.events), expected.events) << text;
    }
}

// Feeds a text in pieces the way the driver does: what a piece leaves
// unconsumed comes again in front of the next one.
void scan_in_pieces(scan_fixture_t* f, const std::string& text, std::mt19937* rng,
                    uint64_t largest_piece) {
    scan_t scan;
    scan_begin(&scan, f->store(&f->arena));
    std::string pending;
    size_t next = 0;
    for (;;) {
        size_t take = std::min<size_t>(text.size() - next, (*rng)() % (largest_piece + 1));
        pending += text.substr(next, take);
        next += take;
        const int last = next == text.size();
        uint64_t consumed = scan_feed(&scan, (const uint8_t*)pending.data(), pending.size(), last);
        ASSERT_LE(consumed, pending.size());
        if (last) {
            ASSERT_EQ(consumed, pending.size());
            return;
        }
        ASSERT_LE(pending.size() - consumed, SCAN_KEEP_MAX);
        pending.erase(0, consumed);
    }
}

TEST(ScanFeed, PiecesGiveTheSameIdsAsTheWholeText) {
    std::vector<std::string> pieces = {
        "profiler_",           "(", ")", " ", "\n", "\t", "ab", "Z_9", "\x80", "profiler_profiler_",
        "long_identifier_name"};
    for (uint32_t i = 0; i < CALL_LITERAL_COUNT; ++i) {
        data_t literal = call_literal(i);
        std::string s((const char*)literal.data, literal.used);
        pieces.push_back(s);
        pieces.push_back(s.substr(0, s.size() - 3));
    }
    std::mt19937 rng(4242);
    for (int round = 0; round < 6000; ++round) {
        scan_search_width(round % 2 ? SCAN_WIDTH_32 : SCAN_WIDTH_16);
        std::string text;
        for (int k = 0, n = (int)(rng() % 60); k < n; ++k)
            text += pieces[rng() % pieces.size()];
        scan_fixture_t whole, split;
        whole.scan(text);
        scan_in_pieces(&split, text, &rng, 1 + rng() % 80);
        ASSERT_EQ(scan_fixture_t::ids(split.timelines), scan_fixture_t::ids(whole.timelines))
            << text;
        ASSERT_EQ(scan_fixture_t::ids(split.events), scan_fixture_t::ids(whole.events)) << text;
        ASSERT_EQ(split.arena.used, whole.arena.used);
    }
}

TEST(ScanFeed, IdentifierAcrossPiecesThatDoesNotFitLeavesTheArenaAsItWas) {
    scan_fixture_t f(64);
    std::mt19937 rng(1);
    std::string text = "profiler_event_start(" + std::string(100, 'x') + ") profiler_event_start(" +
                       std::string(60, 'y') + ")";
    scan_in_pieces(&f, text, &rng, 7);
    EXPECT_EQ(f.events.lost, 1u);
    EXPECT_EQ(scan_fixture_t::ids(f.events), (ids_t{std::string(60, 'y')}));
    EXPECT_EQ(f.arena.used, 60u);
}

} // namespace
