#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "tool/depfile.h"
#include "tool/header.h"

namespace {

// Id tables filled the way the scanner fills them, and an output block.
struct header_fixture_t : id_tables_t {
    std::string write(uint64_t capacity = 1 << 20, int* complete = nullptr) {
        std::vector<uint8_t> bytes(capacity + 16, '#');
        data_t block = data_make(capacity, 0, bytes.data());
        int ok = write_header(&block, &timelines, &events);
        if (complete) *complete = ok;
        for (uint64_t i = capacity; i < bytes.size(); ++i)
            EXPECT_EQ(bytes[i], '#');
        return std::string((char*)bytes.data(), block.used);
    }
};

const char OPENING[] = "\n#ifndef PROFILER_IDS_H\n\n#ifdef PROFILER_ON\n\n#include <stdint.h>\n\n";
#define TIMELINE_EXTERNS                                                                           \
    "extern const char* profiler_timeline_id_strings[ profiler_timeline_id_count ];\n"             \
    "extern uint16_t profiler_timeline_id_string_lengths[ profiler_timeline_id_count ];\n"         \
    "extern uint16_t profiler_max_timeline_id_string_length;\n"
#define EVENT_EXTERNS                                                                              \
    "extern const char* profiler_event_id_strings[ profiler_event_id_count ];\n"                   \
    "extern uint16_t profiler_event_id_string_lengths[ profiler_event_id_count ];\n"               \
    "extern uint16_t profiler_max_event_id_string_length;\n"
#define CLOSING_WITH(externs)                                                                      \
    "#else /* PROFILER_IMPLEMENTATION */ \n\n" externs                                             \
    "\n#endif /* PROFILER_IMPLEMENTATION */ \n\n"                                                  \
    "#endif /* PROFILER_ON */\n"                                                                   \
    "\n#define PROFILER_IDS_H\n#endif\n"
const char CLOSING[] = CLOSING_WITH(TIMELINE_EXTERNS EVENT_EXTERNS);

TEST(WriteHeader, WorkedExampleByteForByte) {
    header_fixture_t f;
    f.timeline("render");
    f.timeline("physics");
    f.event("frame");
    f.event("update");
    f.event("frame");
    std::string expected =
        std::string(OPENING) +
        "typedef enum profiler_timeline_id_t {\n"
        "    profiler_timeline_id_render,\n"
        "    profiler_timeline_id_physics,\n"
        "    profiler_timeline_id_count\n"
        "} profiler_timeline_id_t;\n"
        "\n"
        "typedef enum profiler_event_id_t {\n"
        "    profiler_event_id_profiler_collapse,\n"
        "    profiler_event_id_profiler_not_measured,\n"
        "    profiler_event_id_frame,\n"
        "    profiler_event_id_update,\n"
        "    profiler_event_id_count\n"
        "} profiler_event_id_t;\n"
        "\n"
        "#ifdef PROFILER_IMPLEMENTATION\n"
        "\n"
        "const char* profiler_timeline_id_strings[ profiler_timeline_id_count ] = {\n"
        "    \"render\",\n"
        "    \"physics\",\n"
        "};\n"
        "\n"
        "uint16_t profiler_timeline_id_string_lengths[ profiler_timeline_id_count ] = {\n"
        "    6, 7, \n"
        "};\n"
        "\n"
        "uint16_t profiler_max_timeline_id_string_length = 7;\n"
        "\n"
        "const char* profiler_event_id_strings[ profiler_event_id_count ] = {\n"
        "    \"profiler_collapse\",\n"
        "    \"profiler_not_measured\",\n"
        "    \"frame\",\n"
        "    \"update\",\n"
        "};\n"
        "\n"
        "uint16_t profiler_event_id_string_lengths[ profiler_event_id_count ] = {\n"
        "    17,\n"
        "    21,\n"
        "    5, 6, \n"
        "};\n"
        "\n"
        "uint16_t profiler_max_event_id_string_length = 21;\n"
        "\n" +
        CLOSING;
    int complete = 0;
    EXPECT_EQ(f.write(1 << 20, &complete), expected);
    EXPECT_EQ(complete, 1);
    EXPECT_EQ(f.events.records[2].used, 0u); // the duplicate is marked
}

// Whatever the mix of repeats, only the first occurrence of each id stays,
// as comparing every pair says; full tables included, and ids whose bytes
// differ only late or only in length.
TEST(RemoveDuplicates, KeepsExactlyTheFirstOccurrences) {
    std::mt19937 random(5);
    for (uint64_t count : std::vector<uint64_t>{0, 1, 2, 20, 700, ID_TABLE_CAPACITY}) {
        for (uint32_t alphabet : {1u, 3u, 40u, 5000u}) {
            header_fixture_t f;
            for (uint64_t i = 0; i < count; ++i) {
                const uint32_t n = random() % alphabet;
                f.timeline(std::string(1 + n % 7, 'a') + "_" + std::to_string(n / 7));
            }
            if (count > 2) f.timelines.records[1].used = 0; // removed before: stays removed
            std::vector<data_t> before(f.timelines.records, f.timelines.records + count);
            remove_duplicates(&f.timelines);
            for (uint64_t i = 0; i < count; ++i) {
                bool earlier = false;
                for (uint64_t k = 0; k < i && !earlier; ++k)
                    earlier = before[k].used != 0 && data_equal(&before[k], &before[i]);
                const uint64_t expected = (earlier || before[i].used == 0) ? 0 : before[i].used;
                ASSERT_EQ(f.timelines.records[i].used, expected)
                    << count << " ids from " << alphabet << ", record " << i;
            }
        }
    }
}

TEST(WriteHeader, NoIds) {
    header_fixture_t f;
    // No table, so nothing to declare either.
    EXPECT_EQ(f.write(),
              std::string(OPENING) + "#ifdef PROFILER_IMPLEMENTATION\n\n" + CLOSING_WITH(""));
}

TEST(WriteHeader, EventsOnlyAndOneEventId) {
    header_fixture_t f;
    f.event("x");
    std::string text = f.write();
    EXPECT_EQ(text.find("profiler_timeline_id_t {"), std::string::npos);
    EXPECT_EQ(text.find("profiler_timeline_id_strings[ profiler_timeline_id_count ] = {"),
              std::string::npos);
    EXPECT_EQ(text.find("profiler_timeline_id_count"), std::string::npos);
    EXPECT_NE(text.find(CLOSING_WITH(EVENT_EXTERNS)), std::string::npos);
    EXPECT_NE(text.find("typedef enum profiler_event_id_t {\n"
                        "    profiler_event_id_profiler_collapse,\n"
                        "    profiler_event_id_profiler_not_measured,\n"
                        "    profiler_event_id_x,\n"
                        "    profiler_event_id_count\n"),
              std::string::npos);
    EXPECT_NE(text.find("= {\n    17,\n    21,\n    1, \n};\n\n"
                        "uint16_t profiler_max_event_id_string_length = 21;\n"),
              std::string::npos);
}

std::string lengths_block(const std::string& text, const char* table) {
    std::string opening = std::string("uint16_t ") + table + "[";
    size_t start = text.find(opening);
    start = text.find("{\n", start) + 2;
    size_t end = text.find("\n};", start);
    return text.substr(start, end - start);
}

TEST(WriteHeader, LengthLineBreaksCountIndexesIncludingRemovedRecords) {
    struct {
        const char* name;
        int ids;
        int duplicate_at; // -1: none
        const char* expected;
    } cases[] = {
        {"20 ids", 20, -1, "    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2,\n    "},
        {"45 ids", 45, -1, nullptr},
        {"duplicate at 19", 41, 19, nullptr},
    };
    for (auto& c : cases) {
        header_fixture_t f;
        for (int i = 0; i < c.ids; ++i)
            f.timeline(i == c.duplicate_at ? "a" : std::string(1 + i / 19, (char)('a' + i % 19)));
        std::string block = lengths_block(f.write(), "profiler_timeline_id_string_lengths");
        std::vector<std::string> lines;
        std::stringstream in(block);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        auto numbers_on = [](const std::string& line) {
            int n = 0;
            for (char ch : line)
                n += ch == ',';
            return n;
        };
        if (c.expected) {
            EXPECT_EQ(block, c.expected) << c.name;
        } else if (c.ids == 45) {
            ASSERT_EQ(lines.size(), 3u) << block;
            EXPECT_EQ(numbers_on(lines[0]), 20);
            EXPECT_EQ(numbers_on(lines[1]), 20);
            EXPECT_EQ(numbers_on(lines[2]), 5);
            EXPECT_EQ(lines[2].substr(lines[2].size() - 2), ", ");
        } else {
            // Index 19 is removed: no break there; the first line runs to index 39.
            ASSERT_EQ(lines.size(), 2u) << block;
            EXPECT_EQ(numbers_on(lines[0]), 39);
            EXPECT_EQ(numbers_on(lines[1]), 1);
        }
    }
}

TEST(WriteHeader, LongestLengthsAndRepeatedId) {
    header_fixture_t f;
    for (int i = 0; i < 2048; ++i)
        f.timeline("same");
    f.event("an_event_id_longer_than_twenty_one");
    std::string text = f.write();
    EXPECT_NE(text.find("_lengths[ profiler_timeline_id_count ] = {\n    4, \n};"),
              std::string::npos);
    EXPECT_NE(text.find("profiler_max_timeline_id_string_length = 4;"), std::string::npos);
    EXPECT_NE(text.find("profiler_max_event_id_string_length = 34;"), std::string::npos);
}

TEST(WriteHeader, CaseMattersAndHugeLengthsAreWrittenWhole) {
    header_fixture_t f;
    f.event("Frame");
    f.event("frame");
    f.timeline(std::string(70000, 'q'));
    // A length that is a power of ten has one digit more than the one below.
    for (size_t n : {10, 100, 1000})
        f.event(std::string(n, 'p'));
    int complete = 0;
    std::string text = f.write(1 << 20, &complete);
    EXPECT_TRUE(complete);
    EXPECT_NE(text.find("    21,\n    5, 5, 10, 100, 1000, \n"), std::string::npos);
    EXPECT_NE(text.find("profiler_event_id_Frame,\n    profiler_event_id_frame,"),
              std::string::npos);
    EXPECT_NE(text.find("    70000, \n"), std::string::npos);
    EXPECT_NE(text.find("profiler_max_timeline_id_string_length = 70000;"), std::string::npos);
}

// A found id equal to a fixed event id would be a duplicate enumerator: it is
// removed like a later duplicate and keeps its index for the line breaks.
TEST(WriteHeader, FoundFixedEventIdsAreWrittenOnce) {
    header_fixture_t f;
    f.event("profiler_collapse");
    for (int i = 0; i < 19; ++i)
        f.event("e" + std::to_string(i));
    f.event("profiler_not_measured");
    f.event("last");
    std::string text = f.write();
    auto occurrences = [&](const std::string& what) {
        int n = 0;
        for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(occurrences("profiler_event_id_profiler_collapse,"), 1);
    EXPECT_EQ(occurrences("profiler_event_id_profiler_not_measured,"), 1);
    EXPECT_EQ(occurrences("\"profiler_collapse\""), 1);
    std::string block = lengths_block(text, "profiler_event_id_string_lengths");
    // Index 0 removed; 1 to 18 on the first line with e18 (index 19) ending it.
    EXPECT_EQ(
        block,
        "    17,\n    21,\n    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3,\n    4, ");
}

TEST(WriteHeader, OutOfRoomDropsPiecesCutsNumbersAndNeverOverruns) {
    header_fixture_t full_fixture;
    full_fixture.timeline("render");
    full_fixture.event("frame_with_a_long_name");
    std::string full = full_fixture.write();
    for (uint64_t capacity = 0; capacity < full.size(); ++capacity) {
        header_fixture_t f;
        f.timeline("render");
        f.event("frame_with_a_long_name");
        int complete = 1;
        std::string text = f.write(capacity, &complete);
        EXPECT_EQ(complete, 0) << capacity;
        EXPECT_LE(text.size(), capacity);
    }
    // Room for all but the end of a number: its last digits are kept.
    header_fixture_t f;
    f.event(std::string(12345, 'z'));
    std::string reference = f.write();
    size_t at = reference.find("12345, ");
    ASSERT_NE(at, std::string::npos);
    header_fixture_t g;
    g.event(std::string(12345, 'z'));
    int complete = 1;
    std::string cut = g.write(at + 2, &complete);
    EXPECT_EQ(complete, 0);
    EXPECT_EQ(cut.substr(at), "45");
}

// The generated header compiles as C99 and C++17, strict, in two units (one
// with the implementation, one with the declarations), and at run time every
// string's length equals its entry in the length table.
TEST(WriteHeader, CompilesAndLinksInCAndCpp) {
    header_fixture_t f;
    for (int i = 0; i < 45; ++i)
        f.timeline("timeline_" + std::to_string(i % 30));
    f.event("profiler_collapse");
    for (int i = 0; i < 25; ++i)
        f.event("Event" + std::to_string(i));
    f.event("_9");
    std::string dir = make_temp_dir("header_compile");
    {
        std::ofstream(dir + "/profiler_ids.h", std::ios::binary) << f.write();
        std::ofstream(dir + "/impl.c") << "#define PROFILER_ON\n#define PROFILER_IMPLEMENTATION\n"
                                          "#include \"profiler_ids.h\"\n";
        std::ofstream(dir + "/main.c")
            << "#define PROFILER_ON\n#include \"profiler_ids.h\"\n#include <string.h>\n"
               "int main(void) {\n"
               "  int bad = 0; unsigned i;\n"
               "  for (i = 0; i < profiler_timeline_id_count; ++i)\n"
               "    bad += strlen(profiler_timeline_id_strings[i]) != "
               "profiler_timeline_id_string_lengths[i];\n"
               "  for (i = 0; i < profiler_event_id_count; ++i)\n"
               "    bad += strlen(profiler_event_id_strings[i]) != "
               "profiler_event_id_string_lengths[i];\n"
               "  bad += profiler_timeline_id_count != 30;\n"
               "  bad += profiler_event_id_count != 28;\n"
               "  bad += profiler_max_event_id_string_length != 21;\n"
               "  bad += profiler_max_timeline_id_string_length != 11;\n"
               "  return bad;\n}\n";
    }
    // A unit that only asks for the declarations must compile whichever
    // tables the header has.
    header_fixture_t none, events_only, timelines_only;
    events_only.event("ev");
    timelines_only.timeline("tl");
    std::ofstream(dir + "/none.h", std::ios::binary) << none.write();
    std::ofstream(dir + "/events.h", std::ios::binary) << events_only.write();
    std::ofstream(dir + "/timelines.h", std::ios::binary) << timelines_only.write();
    std::ofstream(dir + "/declarations.c")
        << "#define PROFILER_ON\n#include HEADER\nint declarations(void) { return 0; }\n";
    struct {
        const char* compiler;
        const char* standard;
    } toolchains[] = {{"cc", "-std=c99"}, {"c++", "-std=c++17 -x c++"}};
    for (auto& t : toolchains) {
        std::string flags = std::string(t.standard) + " -Wall -Wextra -Werror -pedantic";
        std::string command = "cd '" + dir + "' && " + t.compiler + " " + flags +
                              " impl.c main.c -o check 2>&1 && ./check";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        for (const char* header : {"none.h", "events.h", "timelines.h"}) {
            command = "cd '" + dir + "' && " + t.compiler + " " + flags + " -DHEADER='\"" + header +
                      "\"' -c declarations.c -o declarations.o 2>&1";
            EXPECT_EQ(std::system(command.c_str()), 0) << command;
        }
    }
}

} // namespace

// Only a file shaped as the tool writes its dependency files may be
// replaced by one: anything else is somebody's file.
TEST(DependencyFile, OnlyOurShapeCountsAsOurs) {
    const struct {
        const char* text;
        int ours;
    } cases[] = {
        {"t:\n", 1},
        {"t: \\\n  a \\\n  b c\n\na:\n\nb c:\n", 1},
        {"t: \\\n  a\n", 0},
        {"all:\n\nclean:\n", 0},
        {"t: \\\n  a \\\n  b\n\nb:\n\na:\n", 0},
        {"t: \\\n  a \\\n  b\n\na:\n", 0},
        {"", 0},
        {"t\n", 0},
        {" t:\n", 0},
        {"t:\n#include <x>\n", 0},
        {"t: \\\nint x;\n", 0},
        {"t: \\\n   a\n", 0},
        {"t: \\\n  a \\\n", 0},
        {"t:\n\nint main() {\n", 0},
        {"t:\n\n  a:\n", 0},
        {"t:\n\na:", 0},
        {"t:\n\na:\nb:\n", 0},
        {"t: \\\n  a\nx\na:\n", 0},
        {"t: \\\n   a\n\n a:\n", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(depfile_looks_ours((const uint8_t*)c.text, strlen(c.text)), c.ours) << c.text;
}
