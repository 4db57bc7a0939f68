// scan_calls alone, in bytes per second, beside the seven-literal naive scan,
// on source-like text without calls and on text dense with them.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/naive_scan.h"
#include "tests/test_support.h"
#include "tool/scan.h"
#include "tool/scan_search.h"

namespace {

std::string make_text(size_t bytes, int lines_per_call) {
    // Words that start like the prefix but are not it ("profiles"), and
    // 'p' and '_' in many places, as in real source.
    static const char* const words[] = {"int",    "profile", "value",    "buffer", "pointer", "for",
                                        "return", "struct",  "profiles", "p_",     "_p"};
    std::mt19937 rng(7);
    std::string text;
    for (int line = 1; text.size() < bytes; ++line) {
        if (lines_per_call && line % lines_per_call == 0) {
            text += "    profiler_event_start( id_" + std::to_string(line % 500) + " );\n";
            continue;
        }
        text += "    ";
        for (int w = 0, n = 2 + (int)(rng() % 8); w < n; ++w)
            text += std::string(words[rng() % 11]) + " ";
        text += ";\n";
    }
    return text;
}

// Code that mentions the profiler everywhere, as bench/gen_corpus.py's
// corpus e: a near miss about every 100 bytes (ends, fields, flags, log
// strings, includes) and a real call every 1000 lines.
std::string make_near_miss_text(size_t bytes) {
    static const char* const words[] = {"int",   "count", "value", "buffer", "result", "frame",
                                        "index", "size",  "data",  "state",  "return", "p"};
    static const char* const near_misses[] = {
        "profiler_event_end();",           "profiler_timeline_end();", "p->profiler_enabled = 1;",
        "log(\"profiler_ frame %d\", n);", "#include \"profiler.h\"",  "if (profiler_enabled) {",
        "profiler_flags |= PROFILER_ON;"};
    std::mt19937 rng(11);
    std::string text;
    for (int line = 1; text.size() < bytes; ++line) {
        if (line % 1000 == 0) {
            text += "    profiler_event_start( id_" + std::to_string(line % 500) + " );\n";
            continue;
        }
        text += "    ";
        if (rng() % 10 < 7) text += std::string(near_misses[rng() % 7]) + " ";
        for (int w = 0, n = 2 + (int)(rng() % 8); w < n; ++w)
            text += std::string(words[rng() % 12]) + " ";
        text += ";\n";
    }
    return text;
}

void run_fast(benchmark::State& state, const std::string& text) {
    id_tables_t tables;
    std::vector<uint8_t> arena_bytes(1 << 20);
    for (auto _ : state) {
        tables.timelines.count = tables.events.count = 0;
        data_t arena = data_make(arena_bytes.size(), 0, arena_bytes.data());
        scan_calls(data_of(text), tables.store(&arena));
        benchmark::DoNotOptimize(tables.events.count);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}

void run_naive(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        naive_ids_t ids = naive_scan((const uint8_t*)text.data(), text.size());
        benchmark::DoNotOptimize(ids.events.size());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}

const std::string& quiet_text() {
    static const std::string text = make_text(8 << 20, 0);
    return text;
}
const std::string& dense_text() {
    // Small: the naive scan is quadratic on dense text.
    static const std::string text = make_text(64 << 10, 1);
    return text;
}

void scan_without_calls(benchmark::State& s) {
    scan_search_width(SCAN_WIDTH_32);
    run_fast(s, quiet_text());
}
void scan_without_calls_16_wide(benchmark::State& s) {
    scan_search_width(SCAN_WIDTH_16);
    run_fast(s, quiet_text());
    scan_search_width(SCAN_WIDTH_32);
}
void naive_without_calls(benchmark::State& s) { run_naive(s, quiet_text()); }
const std::string& near_miss_text() {
    static const std::string text = make_near_miss_text(8 << 20);
    return text;
}
void scan_near_misses(benchmark::State& s) {
    scan_search_width(SCAN_WIDTH_32);
    run_fast(s, near_miss_text());
}
void scan_near_misses_16_wide(benchmark::State& s) {
    scan_search_width(SCAN_WIDTH_16);
    run_fast(s, near_miss_text());
    scan_search_width(SCAN_WIDTH_32);
}
void naive_near_misses(benchmark::State& s) { run_naive(s, near_miss_text()); }
void scan_dense(benchmark::State& s) { run_fast(s, dense_text()); }
void naive_dense(benchmark::State& s) { run_naive(s, dense_text()); }

// Typical code, as bench/gen_corpus.py's corpus b: lines of common words,
// some that start like the prefix ("profile_window", "prof_", "p"), and a
// call every 1000 lines.
std::string make_typical_text(size_t bytes) {
    static const char* const words[] = {
        "int",    "count",  "value",          "buffer", "result", "frame",    "render",
        "update", "index",  "size",           "data",   "state",  "return",   "if",
        "for",    "while",  "const",          "struct", "static", "uint32_t", "pointer",
        "length", "config", "profile_window", "prof_",  "p"};
    std::mt19937 rng(5);
    std::string text;
    for (int line = 1; text.size() < bytes; ++line) {
        if (line % 1000 == 0) {
            text += "    profiler_event_start( id_" + std::to_string(line % 500) + " );\n";
            continue;
        }
        text += std::string(4 * (rng() % 4), ' ');
        for (int w = 0, n = 2 + (int)(rng() % 8); w < n; ++w)
            text += std::string(w ? " " : "") + words[rng() % 26];
        text += ";\n";
    }
    return text;
}

// The case the tool meets: a file of typical size just read into its
// buffer, so in the cache when the scan sees it; one thread, the same 48 KiB
// again and again. memchr over the same buffer, for a byte it does not hold,
// is the ceiling: one look at every byte.
const std::string& cached_plain() {
    static const std::string text = make_typical_text(48 << 10);
    return text;
}
const std::string& cached_near_misses() {
    static const std::string text = make_near_miss_text(48 << 10);
    return text;
}
void memchr_ceiling(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        const void* found = memchr(text.data(), '\x01', text.size());
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}
void cached_scan_plain(benchmark::State& s) { run_fast(s, cached_plain()); }
void cached_memchr_plain(benchmark::State& s) { memchr_ceiling(s, cached_plain()); }
void cached_scan_near_misses(benchmark::State& s) { run_fast(s, cached_near_misses()); }
void cached_memchr_near_misses(benchmark::State& s) { memchr_ceiling(s, cached_near_misses()); }
BENCHMARK(cached_scan_plain);
BENCHMARK(cached_memchr_plain);
BENCHMARK(cached_scan_near_misses);
BENCHMARK(cached_memchr_near_misses);

BENCHMARK(scan_without_calls);
BENCHMARK(scan_without_calls_16_wide);
BENCHMARK(naive_without_calls);
BENCHMARK(scan_near_misses);
BENCHMARK(scan_near_misses_16_wide);
BENCHMARK(naive_near_misses);
BENCHMARK(scan_dense);
BENCHMARK(naive_dense);

} // namespace

BENCHMARK_MAIN();
