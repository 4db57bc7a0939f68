#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/args.h"

namespace {

// Keeps the argument strings alive and hands them to args_init.
struct argv_t {
    std::vector<std::string> strings;
    std::vector<char*> pointers;
    explicit argv_t(std::vector<std::string> s) : strings(std::move(s)) {
        for (auto& a : strings)
            pointers.push_back(a.data());
        EXPECT_EQ(args_init((int32_t)pointers.size(), pointers.data()), 1);
    }
};

std::string str(const data_t& d) {
    return d.data ? std::string((const char*)d.data, d.used) : "<empty>";
}

TEST(Args, TableEntriesAreTerminatedStrings) {
    argv_t a({"tagloomsmith", "-d", "", "src"});
    EXPECT_EQ(arg_count(), 4u);
    for (uint32_t i = 0; i < 4; ++i) {
        data_t entry = arg_at(i);
        EXPECT_EQ(entry.size, entry.used + 1);
        EXPECT_EQ(entry.data[entry.used], 0);
    }
    EXPECT_EQ(arg_at(4).data, nullptr);
}

TEST(Args, ValueIteration) {
    struct {
        std::vector<std::string> argv;
        std::vector<std::string> values; // successive "-d" values until empty
        std::vector<uint32_t> iterators;
    } cases[] = {
        {{"t", "-d", "src", "-d"}, {"src"}, {2}},
        {{"t", "-d", "-d", "x"}, {"-d", "x"}, {2, 3}},
        {{"t", "-d", "a", "-d", "b"}, {"a", "b"}, {2, 4}},
        {{"t"}, {}, {}},
        {{"t", "-dsrc", "-D", "-d ", "x"}, {}, {}},
        {{"-d", "x"}, {}, {}}, // argument 0 hides the option
    };
    for (auto& c : cases) {
        argv_t a(c.argv);
        uint32_t iterator = 0;
        std::vector<std::string> values;
        std::vector<uint32_t> iterators;
        for (data_t v; (v = arg_value(DATA_LITERAL("-d"), &iterator)).used != 0;) {
            values.push_back(str(v));
            iterators.push_back(iterator);
        }
        EXPECT_EQ(values, c.values) << c.argv.size();
        EXPECT_EQ(iterators, c.iterators);
        // A failed lookup leaves the iterator where the last hit put it.
        EXPECT_EQ(iterator, c.iterators.empty() ? 0u : c.iterators.back());
    }
}

TEST(Args, PresenceAndFind) {
    argv_t a({"t", "-e", "-r", "", "x", "-s"});
    EXPECT_EQ(arg_present(DATA_LITERAL("-r"), 0), 2u);
    EXPECT_EQ(arg_present(DATA_LITERAL("-s"), 0), 5u); // last argument: present
    EXPECT_EQ(arg_value(DATA_LITERAL("-s"), nullptr).used, 0u);
    EXPECT_EQ(str(arg_value(DATA_LITERAL("-e"), nullptr)), "-r");
    EXPECT_EQ(arg_find("", 0, 0), 3u); // an empty option matches only an empty argument
    EXPECT_EQ(arg_find("-e", 2, 2), 0u);
    EXPECT_EQ(arg_find("-s", 2, 6), 0u); // start at the count
    EXPECT_EQ(arg_find("-s", 2, 1000), 0u);
    EXPECT_EQ(arg_value("-e", 2, nullptr).used, 2u);
}

TEST(Args, OnlyTheProgramName) {
    argv_t a({"t"});
    EXPECT_EQ(arg_present(DATA_LITERAL("-h"), 0), 0u);
    EXPECT_EQ(arg_value(DATA_LITERAL("-o"), nullptr).data, nullptr);
}

TEST(Args, CountLimits) {
    std::vector<std::string> many(129, "x");
    std::vector<char*> pointers;
    for (auto& s : many)
        pointers.push_back(s.data());
    EXPECT_EQ(args_init(129, pointers.data()), 0);
    EXPECT_EQ(arg_count(), 0u);
    EXPECT_EQ(arg_find("x", 1, 0), 0u);
    EXPECT_EQ(args_init(-1, pointers.data()), 0);
    EXPECT_EQ(args_init(128, pointers.data()), 1);
    EXPECT_EQ(arg_find("x", 1, 127), 127u);
}

TEST(Args, ExecutablePathSplitsAtTheLastSeparator) {
    argv_t a({"t"});
    data_t path = arg_executable_path();
    data_t directory = arg_executable_directory();
    data_t name = arg_executable_name();
    ASSERT_GT(path.used, 0u);
    EXPECT_EQ(directory.data, path.data);
    EXPECT_EQ(directory.used + name.used, path.used);
    EXPECT_EQ(directory.data[directory.used - 1], '/');
    EXPECT_EQ(str(name), "tagloomsmith_tests");
    EXPECT_EQ(name.size, name.used);
}

} // namespace
