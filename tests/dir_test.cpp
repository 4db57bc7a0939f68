#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "base/dir.h"
#include "tests/test_support.h"

namespace {

std::vector<data_t> split(const std::string& text, uint32_t maximum = DIR_LIST_ITEMS) {
    std::vector<data_t> items(maximum + 1);
    data_t view = data_of(text);
    uint32_t n = list_split(&view, items.data(), maximum);
    items.resize(n);
    return items;
}

std::vector<std::string> as_strings(const std::vector<data_t>& items) {
    std::vector<std::string> out;
    for (auto& item : items) {
        EXPECT_EQ(item.size, item.used);
        out.emplace_back((const char*)item.data, item.used);
    }
    return out;
}

using strings_t = std::vector<std::string>;

TEST(ListSplit, Table) {
    struct {
        std::string text;
        strings_t items;
    } cases[] = {
        {"c,cpp,h,hpp", {"c", "cpp", "h", "hpp"}},
        {"  c,\t\ncpp", {"c", "cpp"}}, // leading whitespace skipped
        {"c ,cpp ", {"c ", "cpp "}},   // trailing whitespace kept
        {"c,,h,", {"c", "h"}},         // empty items dropped
        {" , ,x", {"x"}},              // whitespace-only items are empty
        {"a b,c", {"a b", "c"}},
        {"", {}},
        {",", {}},
    };
    for (auto& c : cases)
        EXPECT_EQ(as_strings(split(c.text)), c.items) << c.text;
}

TEST(ListSplit, StopsAtTheMaximum) {
    std::string text;
    for (int i = 0; i < 70; ++i)
        text += "e" + std::to_string(i) + ",";
    strings_t items = as_strings(split(text));
    ASSERT_EQ(items.size(), 64u);
    EXPECT_EQ(items.back(), "e63");
}

TEST(FileExtension, Table) {
    struct {
        std::string name;
        bool none;
        std::string extension;
    } cases[] = {
        {"a.c", false, "c"}, {"a.b.cpp", false, "cpp"}, {".c", false, "c"},  {"noext", true, ""},
        {"", true, ""},      {"ends.", false, ""},      {"A.C", false, "C"},
    };
    for (auto& c : cases) {
        data_t e = file_extension((const uint8_t*)c.name.data(), c.name.size());
        if (c.none) {
            EXPECT_EQ(e.data, nullptr) << c.name;
            EXPECT_EQ(e.used, 0u) << c.name;
        } else {
            ASSERT_NE(e.data, nullptr) << c.name;
            EXPECT_EQ(std::string((const char*)e.data, e.used), c.extension) << c.name;
            EXPECT_EQ(e.size, e.used);
        }
    }
}

// A list over an arena of its own, and a search that returns its paths.
struct walk_fixture_t {
    std::vector<uint8_t> bytes;
    data_t arena;
    file_list_t list;

    explicit walk_fixture_t(uint32_t capacity = 1024, uint64_t arena_size = 1 << 20)
        : bytes(arena_size), arena(data_make(arena_size, 0, bytes.data())),
          list(file_list_make(&arena, capacity)) {}

    dir_search_result_t search(const std::string& directory, uint32_t flags,
                               const std::string& extensions = "c,cpp,h,hpp",
                               const std::string& exceptions = "profiler.h") {
        data_t d = data_of(directory);
        const test_filter_t filter(extensions, exceptions);
        return dir_search(&list, &d, &filter.filter, flags);
    }
    strings_t paths(const std::string& strip = "") const {
        strings_t out;
        for (uint32_t i = 0; i < list.count; ++i) {
            std::string p((const char*)list.paths[i]);
            EXPECT_EQ(p.size(), list.path_lengths[i]);
            out.push_back(p.compare(0, strip.size(), strip) == 0 ? p.substr(strip.size()) : p);
        }
        return out;
    }
};

// A tree with mixed case, nested folders, exceptions and other extensions.
std::string make_tree() {
    std::string root = make_temp_dir("tree");
    for (const char* f :
         {"b.c", "A.h", "a.cpp", "Z.C", "profiler.h", "Profiler.h", "notes.txt", "noext", "dot."})
        touch(root + "/" + f);
    make_dir(root + "/sub");
    touch(root + "/sub/inner.hpp");
    make_dir(root + "/sub/deeper");
    touch(root + "/sub/deeper/deep.c");
    make_dir(root + "/skip");
    touch(root + "/skip/hidden.c");
    make_dir(root + "/_first");
    touch(root + "/_first/u.c");
    return root;
}

TEST(DirSearch, OrderExtensionsExceptionsAndRecursion) {
    std::string root = make_tree();
    struct {
        const char* name;
        uint32_t flags;
        std::string exceptions;
        std::string extensions;
        strings_t expected;
    } cases[] = {
        {"flat",
         WALK_FILES,
         "profiler.h",
         "c,cpp,h,hpp",
         {"/a.cpp", "/A.h", "/b.c", "/Profiler.h"}},
        {"recursive, directories not listed",
         WALK_FILES | WALK_RECURSIVE,
         "profiler.h,skip",
         "c,cpp,h,hpp",
         {"/a.cpp", "/A.h", "/b.c", "/Profiler.h", "/sub/deeper/deep.c", "/sub/inner.hpp",
          "/_first/u.c"}}, // '_' sorts after the upper-cased letters
        {"with directories",
         WALK_FILES | WALK_DIRECTORIES | WALK_RECURSIVE,
         "profiler.h,deeper",
         "hpp",
         {"/skip", "/sub", "/sub/inner.hpp", "/_first"}},
        {"no file or directory flag lists both",
         WALK_RECURSIVE,
         "profiler.h",
         "C",
         {"/skip", "/sub", "/sub/deeper", "/Z.C", "/_first"}},
        {"dot entries",
         WALK_DIRECTORIES | WALK_DOT_ENTRIES,
         "",
         "",
         {"/.", "/..", "/skip", "/sub", "/_first"}},
        {"dot entries need directories", WALK_FILES | WALK_DOT_ENTRIES, "", "txt", {"/notes.txt"}},
        {"empty extension list passes all files",
         WALK_FILES,
         "profiler.h,Profiler.h",
         "",
         {"/a.cpp", "/A.h", "/b.c", "/dot.", "/noext", "/notes.txt", "/Z.C"}},
        {"an extension's leading dot is not part of it",
         WALK_FILES,
         "",
         ".cpp,.txt",
         {"/a.cpp", "/notes.txt"}},
        {"a dot alone is no extension, nor is a second dot", WALK_FILES, "", ".,..c", {}},
    };
    for (auto& c : cases) {
        walk_fixture_t f;
        EXPECT_EQ(f.search(root, c.flags, c.extensions, c.exceptions), DIR_SEARCH_DONE);
        EXPECT_EQ(f.paths(root), c.expected) << c.name;
        for (uint32_t i = 0; i < f.list.count; ++i) {
            std::string p((const char*)f.list.paths[i]);
            for (char& ch : p)
                ch = ch == '\\' ? '/' : ch;
            struct stat info;
            ASSERT_EQ(stat(p.c_str(), &info), 0) << p;
            EXPECT_EQ(f.list.is_directory[i], S_ISDIR(info.st_mode) ? 1 : 0) << p;
        }
    }
}

TEST(DirNameEqual, ExactOrWithoutRegardToAsciiCase) {
    struct {
        std::string a, b;
        int fold_case, equal;
    } cases[] = {
        {"profiler.h", "profiler.h", 0, 1},
        {"Profiler.h", "profiler.h", 0, 0},
        {"Profiler.h", "profiler.h", 1, 1},
        {"abc", "ABC", 1, 1},
        {"c", "cpp", 1, 0},
        {"", "", 1, 1},
        // Only letters fold: '[' and '{', '@' and '`' are 0x20 apart too.
        {"a[", "a{", 1, 0},
        {"a@", "a`", 1, 0},
        {"\xC3\x89", "\xC3\xA9", 1, 0}, // not ASCII: left as it is
    };
    for (auto& c : cases) {
        const data_t a = data_of(c.a), b = data_of(c.b);
        EXPECT_EQ(dir_name_equal(&a, &b, c.fold_case), c.equal) << c.a << " " << c.b;
        EXPECT_EQ(dir_name_equal(&b, &a, c.fold_case), c.equal) << c.b << " " << c.a;
    }
}

// An exception with a separator names one entry by its path, relative to
// the current directory or absolute, however the search directory is
// written; a name alone still leaves out every entry of that name.
TEST(DirSearch, ExceptionsByPath) {
    const std::string root = make_tree();
    make_dir(root + "/bus");
    touch(root + "/bus/inner.hpp");
    // A sibling of the root whose name is as long, and one that extends it.
    std::string sibling = root;
    sibling.back() = sibling.back() == 'a' ? 'b' : 'a';
    const strings_t all = {"/a.cpp",
                           "/A.h",
                           "/b.c",
                           "/bus/inner.hpp",
                           "/Profiler.h",
                           "/skip/hidden.c",
                           "/sub/deeper/deep.c",
                           "/sub/inner.hpp",
                           "/_first/u.c"};
    auto without = [&](const strings_t& gone) {
        strings_t kept;
        for (auto& p : all)
            if (std::find(gone.begin(), gone.end(), p) == gone.end()) kept.push_back(p);
        return kept;
    };
    struct {
        std::string directory, exceptions;
        strings_t expected;
    } cases[] = {
        {root, "profiler.h,skip/", without({"/skip/hidden.c"})},
        {root, "profiler.h,./sub/deeper", without({"/sub/deeper/deep.c"})},
        {root, "profiler.h,sub//../skip/.", without({"/skip/hidden.c"})},
        {root, "profiler.h," + root + "/sub/inner.hpp", without({"/sub/inner.hpp"})},
        {root, "profiler.h,skip/,sub/deeper", without({"/skip/hidden.c", "/sub/deeper/deep.c"})},
        {root + "/", "profiler.h,sub/deeper/", without({"/sub/deeper/deep.c"})},
        {".", "profiler.h," + root + "/skip", without({"/skip/hidden.c"})},
        {"sub/..", "profiler.h,_first/u.c", without({"/_first/u.c"})},
        // None of these names an entry of the walk.
        {root, "profiler.h," + root + "/sub_deeper", all},
        {root, "profiler.h," + root + "Xskip", all},
        {root, "profiler.h," + sibling + "/skip", all},
        {root, "profiler.h,./", all}, // the search directory itself is searched
        {root, "profiler.h," + root, all},
        {root, "profiler.h,inner.hpp/", all},
        {root, "profiler.h,Skip/", all}, // names are exact here
    };
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(root.c_str()), 0);
    for (auto& c : cases) {
        walk_fixture_t f;
        EXPECT_EQ(f.search(c.directory, WALK_FILES | WALK_RECURSIVE, "c,cpp,h,hpp", c.exceptions),
                  DIR_SEARCH_DONE);
        const std::string shown = c.directory == root + "/" ? root : c.directory;
        EXPECT_EQ(f.paths(shown), c.expected) << c.directory << " -x " << c.exceptions;
    }
    ASSERT_EQ(chdir(cwd), 0);
}

// A file whose path passes the walk's 1024-byte buffer (its folder fits,
// its long name follows) is still named by its path.
TEST(DirSearch, ExceptionByPathPastTheBuffer) {
    const std::string root = make_temp_dir("long_exception");
    std::string folder = root;
    while (folder.size() + 1 + 100 + 3 <= DIR_PATH_CAPACITY) {
        folder += "/" + std::string(100, 'd');
        make_dir(folder);
    }
    const std::string file = folder + "/" + std::string(1100 - folder.size(), 'f') + ".c";
    touch(file);
    touch(folder + "/kept.c");
    ASSERT_GT(file.size(), DIR_PATH_CAPACITY);
    walk_fixture_t f;
    EXPECT_EQ(f.search(root, WALK_FILES | WALK_RECURSIVE, "c", file), DIR_SEARCH_DONE);
    EXPECT_EQ(f.paths(), strings_t{folder + "/kept.c"});
}

// The order must not depend on the file system: each set is created forwards
// and backwards, and names differing only in case come in raw byte order.
TEST(DirSearch, OrderIsUpperCasedBytesThenRawBytes) {
    struct {
        const char* name;
        strings_t sorted;
    } cases[] = {
        {"case variants", {"ABC.c", "ABc.c", "AbC.c", "Abc.c", "aBC.c", "aBc.c", "abC.c", "abc.c"}},
        // Lower-case z upper-cased sorts before the bytes between 'Z' and 'a'.
        {"z against [ ^ _ `", {"z0.c", "z1.c", "Z2.c", "z3.c", "[1.c", "^1.c", "_1.c", "`1.c"}},
    };
    for (auto& c : cases) {
        for (bool backwards : {false, true}) {
            std::string root = make_temp_dir("order");
            strings_t created = c.sorted;
            if (backwards) std::reverse(created.begin(), created.end());
            for (auto& name : created)
                touch(root + "/" + name);
            walk_fixture_t f;
            EXPECT_EQ(f.search(root, WALK_FILES), DIR_SEARCH_DONE);
            strings_t expected;
            for (auto& name : c.sorted)
                expected.push_back("/" + name);
            EXPECT_EQ(f.paths(root), expected) << c.name << (backwards ? " backwards" : "");
        }
    }
}

// Names are joined with the system's separator, never doubling one the
// directory ends with; on POSIX a backslash is an ordinary name byte.
TEST(DirSearch, PathsInTheSystemsOwnForm) {
    std::string root = make_tree();
    make_dir(root + "/we\\ird");
    touch(root + "/we\\ird/back\\slash.c");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(root.c_str()), 0);
    walk_fixture_t f;
    EXPECT_EQ(dir_default().used, 2u);
    EXPECT_EQ(f.search(std::string((const char*)dir_default().data), WALK_FILES), DIR_SEARCH_DONE);
    EXPECT_EQ(f.paths(), (strings_t{"./a.cpp", "./A.h", "./b.c", "./Profiler.h"}));
    EXPECT_EQ(f.list.path_lengths[0], 7u);
    // The walk asks the file system for no more than the entry's type: a
    // regular file carries no size or time here (it is sized when opened).
    EXPECT_EQ(f.list.sizes[0], 0u);
    EXPECT_EQ(f.list.write_times[0], 0u);
    walk_fixture_t g;
    EXPECT_EQ(g.search("we\\ird", WALK_FILES), DIR_SEARCH_DONE);
    EXPECT_EQ(g.paths(), (strings_t{"we\\ird/back\\slash.c"}));
    EXPECT_EQ(g.search("sub\\", WALK_FILES), DIR_SEARCH_NOT_FOUND);
    EXPECT_EQ(g.list.search_error, (uint32_t)ENOENT);
    ASSERT_EQ(chdir(cwd), 0);
}

TEST(DirSearch, SameDirectoryTwiceIsListedTwice) {
    std::string root = make_tree();
    walk_fixture_t f;
    f.search(root + "/sub", WALK_FILES);
    f.search(root, WALK_FILES | WALK_RECURSIVE, "hpp", "");
    EXPECT_EQ(f.paths(root), (strings_t{"/sub/inner.hpp", "/sub/inner.hpp"}));
}

TEST(DirSearch, MissingAndNonDirectoriesAreReported) {
    std::string root = make_tree();
    walk_fixture_t f;
    EXPECT_EQ(f.search(root + "/nothing", WALK_FILES), DIR_SEARCH_NOT_FOUND);
    EXPECT_EQ(f.search(root + "/b.c", WALK_FILES), DIR_SEARCH_NOT_FOUND);
    EXPECT_EQ(f.list.count, 0u);
}

TEST(DirSearch, CapacityLimitAcrossSeveralSearches) {
    std::string root = make_temp_dir("many");
    for (int d = 0; d < 3; ++d) {
        std::string sub = root + "/d" + std::to_string(d);
        make_dir(sub);
        for (int i = 0; i < 400; ++i)
            touch(sub + "/f" + std::to_string(1000 + i) + ".c");
    }
    walk_fixture_t f(1024, 4 << 20);
    for (int d = 0; d < 3; ++d)
        f.search(root + "/d" + std::to_string(d), WALK_FILES);
    EXPECT_EQ(f.list.count, 1024u);
    EXPECT_EQ(f.list.truncated, 1u);
    strings_t paths = f.paths(root);
    EXPECT_EQ(paths[799], "/d1/f1399.c");
    EXPECT_EQ(paths[1023], "/d2/f1223.c"); // exactly the first 1024 in walk order

    walk_fixture_t exact(800, 4 << 20);
    for (int d = 0; d < 2; ++d)
        exact.search(root + "/d" + std::to_string(d), WALK_FILES);
    EXPECT_EQ(exact.list.count, 800u);
    EXPECT_EQ(exact.list.truncated, 0u); // full, but nothing was left out

    // Full exactly when a folder to descend comes next: what lies below it
    // is left out too.
    std::string nested = make_temp_dir("nested");
    touch(nested + "/a.c");
    make_dir(nested + "/sub");
    touch(nested + "/sub/b.c");
    walk_fixture_t one(1);
    one.search(nested, WALK_FILES | WALK_RECURSIVE);
    EXPECT_EQ(one.paths(nested), strings_t{"/a.c"});
    EXPECT_EQ(one.list.truncated, 1u);
}

// A folder whose two-byte name starts with a dot is an ordinary folder.
TEST(DirSearch, DotNamesThatAreNotDotEntries) {
    std::string root = make_temp_dir("dots");
    make_dir(root + "/.g");
    touch(root + "/.g/x.c");
    walk_fixture_t f;
    f.search(root, WALK_FILES | WALK_RECURSIVE);
    EXPECT_EQ(f.paths(root), strings_t{"/.g/x.c"});
}

TEST(FileListMake, TooSmallArenaLeavesItUnchanged) {
    std::vector<uint8_t> bytes(1024 * 27 - 1);
    data_t arena = data_make(bytes.size(), 5, bytes.data());
    file_list_t list = file_list_make(&arena, 1024);
    EXPECT_EQ(list.arena, nullptr);
    EXPECT_EQ(list.paths, nullptr);
    EXPECT_EQ(list.write_times, nullptr);
    EXPECT_EQ(list.capacity, 0u);
    EXPECT_EQ(arena.used, 5u);
    // Walking into it records nothing.
    std::string root = make_tree();
    data_t d = data_of(root);
    const dir_filter_t none{};
    dir_search(&list, &d, &none, WALK_FILES);
    EXPECT_EQ(list.count, 0u);
}

TEST(DirSearch, PathsTheArenaCannotHoldAreCountedAndNull) {
    std::string root = make_temp_dir("lost");
    for (const char* name : {"a.c", "b.c", "c.c", "d.c"})
        touch(root + "/" + name);
    const uint64_t path_bytes = root.size() + 5; // root, '\\', "x.c", zero byte
    // Room for two whole paths, then for nothing or for only the start of
    // the third (its directory and separator).
    for (uint64_t room : {2 * path_bytes, 2 * path_bytes + root.size() + 1}) {
        std::vector<uint8_t> bytes(4096);
        data_t arena = data_make(bytes.size(), 0, bytes.data());
        file_list_t list = file_list_make(&arena, 4);
        arena.size = arena.used + room;
        data_t d = data_of(root);
        const test_filter_t c("c", "c");
        ASSERT_EQ(dir_search(&list, &d, &c.filter, WALK_FILES), DIR_SEARCH_DONE);
        ASSERT_EQ(list.count, 4u);
        EXPECT_EQ(list.lost_paths, 2u);
        EXPECT_EQ(std::string((const char*)list.paths[0]), root + "/a.c");
        EXPECT_EQ(std::string((const char*)list.paths[1]), root + "/b.c");
        // A path cut short would have no zero byte: it must not be there to read.
        EXPECT_EQ(list.paths[2], nullptr);
        EXPECT_EQ(list.paths[3], nullptr);
        EXPECT_LE(arena.used, arena.size);
    }
}

TEST(DirSearch, OverlongPathsAreNeverWrittenPastTheBuffer) {
    std::string root = make_temp_dir("long");
    // Nest directories until the path passes the 1024-byte buffer.
    std::string path = root;
    std::vector<std::string> levels;
    while (path.size() < 1100) {
        path += "/" + std::string(100, 'd');
        make_dir(path);
        touch(path + "/f.c");
        levels.push_back(path);
    }
    walk_fixture_t f;
    EXPECT_EQ(f.search(root, WALK_FILES | WALK_RECURSIVE), DIR_SEARCH_DONE);
    EXPECT_EQ(f.list.long_paths, 1u);
    for (uint32_t i = 0; i < f.list.count; ++i)
        EXPECT_LE(f.list.path_lengths[i], DIR_PATH_CAPACITY - 3 + 4);
    EXPECT_GT(f.list.count, 5u);

    walk_fixture_t g;
    std::string too_long = levels.back();
    EXPECT_EQ(g.search(too_long, WALK_FILES), DIR_SEARCH_TOO_LONG);
    std::string just_fits(1021, '/');
    EXPECT_EQ(g.search(just_fits, WALK_FILES), DIR_SEARCH_DONE); // "////...\*" is the root
    std::string one_over(1022, '/');
    EXPECT_EQ(g.search(one_over, WALK_FILES), DIR_SEARCH_TOO_LONG);
}

TEST(DirSearch, LinkCyclesAndFifosAreSafe) {
    std::string root = make_temp_dir("links");
    make_dir(root + "/a");
    touch(root + "/a/one.c");
    symlink("..", (root + "/a/up").c_str());         // a cycle back to the root
    symlink("one.c", (root + "/a/alias.c").c_str()); // a link to a file is a file
    symlink("gone.c", (root + "/a/dangling.c").c_str());
    mkfifo((root + "/a/pipe.c").c_str(), 0600);
    walk_fixture_t f;
    EXPECT_EQ(f.search(root, WALK_FILES | WALK_RECURSIVE), DIR_SEARCH_DONE);
    EXPECT_EQ(f.paths(root), (strings_t{"/a/alias.c", "/a/dangling.c", "/a/one.c", "/a/pipe.c"}));
}

} // namespace
