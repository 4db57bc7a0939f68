#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/file.h"
#include "test_paths.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(FileReadAll, Table) {
    std::string dir = make_temp_dir("read");
    put(dir + "/empty.c", "");
    put(dir + "/three.c", "abc");
    mkfifo((dir + "/pipe.c").c_str(), 0600);
    mkdir((dir + "/sub.c").c_str(), 0700);
    symlink("three.c", (dir + "/link.c").c_str());
    symlink("missing.c", (dir + "/dangling.c").c_str());
    struct {
        const char* name;
        int terminate;
        bool empty_result;
        std::string contents; // with the terminating zero when asked for
    } cases[] = {
        {"missing.c", 0, true, ""},
        {"empty.c", 0, true, ""},
        {"empty.c", 1, false, std::string(1, '\0')},
        {"three.c", 0, false, "abc"},
        {"three.c", 1, false, std::string("abc\0", 4)},
        {"pipe.c", 0, true, ""}, // must neither block nor be read
        {"sub.c", 0, true, ""},
        {"link.c", 0, false, "abc"},
        {"dangling.c", 1, true, ""},
    };
    for (auto& c : cases) {
        data_t text = file_read_all((dir + "/" + c.name).c_str(), c.terminate);
        if (c.empty_result) {
            EXPECT_EQ(text.data, nullptr) << c.name;
            EXPECT_EQ(text.size, 0u) << c.name;
            EXPECT_EQ(text.used, 0u) << c.name;
        } else {
            ASSERT_NE(text.data, nullptr) << c.name;
            EXPECT_EQ(text.size, c.contents.size()) << c.name;
            EXPECT_EQ(text.used, c.contents.size()) << c.name;
            EXPECT_EQ(std::string((char*)text.data, text.used), c.contents) << c.name;
            data_os_free(&text);
        }
    }
}

TEST(FileReadAll, BackslashesAreSeparators) {
    std::string dir = make_temp_dir("backslash");
    mkdir((dir + "/src").c_str(), 0700);
    put(dir + "/src/a.c", "xyz");
    data_t text = file_read_all((dir + "\\src\\\\a.c").c_str(), 0);
    ASSERT_NE(text.data, nullptr);
    EXPECT_EQ(std::string((char*)text.data, text.used), "xyz");
    data_os_free(&text);
}

TEST(FileReader, PiecesUpToTheSizeTakenAtOpen) {
    std::string dir = make_temp_dir("reader");
    std::string path = dir + "/grows.c";
    put(path, "0123456789");
    file_reader_t reader;
    ASSERT_EQ(file_reader_open(&reader, path.c_str()), 1);
    EXPECT_EQ(reader.remaining, 10u);
    std::ofstream(path, std::ios::app) << "appended later"; // not read: the size was taken
    char piece[4];
    std::string seen;
    int failed = 0;
    for (uint64_t n; (n = file_reader_read(&reader, piece, sizeof piece, &failed)) != 0;)
        seen.append(piece, n);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(seen, "0123456789");
    file_reader_close(&reader);
    EXPECT_EQ(file_reader_open(&reader, (dir + "/missing.c").c_str()), 0);
}

TEST(FileReader, AFileThatShrinksFailsInsteadOfLoopingForEver) {
    std::string dir = make_temp_dir("shrink");
    std::string path = dir + "/shrinks.c";
    put(path, std::string(100, 'x'));
    file_reader_t reader;
    ASSERT_EQ(file_reader_open(&reader, path.c_str()), 1);
    ASSERT_EQ(truncate(path.c_str(), 40), 0);
    char buffer[128];
    int failed = 0;
    EXPECT_EQ(file_reader_read(&reader, buffer, sizeof buffer, &failed), 40u);
    EXPECT_EQ(failed, 1);
    file_reader_close(&reader);
}

TEST(FileWriteAll, OverwriteAndCreateNew) {
    std::string dir = make_temp_dir("write");
    std::string path = dir + "/out.h";
    EXPECT_EQ(file_write_all(path.c_str(), "first", 5, 0), 5u);
    EXPECT_EQ(file_write_all(path.c_str(), "second", 6, 0), 0u); // exists: untouched
    EXPECT_EQ(slurp(path), "first");
    EXPECT_EQ(file_write_all(path.c_str(), "2nd", 3, 1), 3u); // emptied and rewritten
    EXPECT_EQ(slurp(path), "2nd");
    EXPECT_EQ(file_write_all(path.c_str(), "", 0, 1), 0u);
    EXPECT_EQ(slurp(path), "");
    struct stat info;
    EXPECT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(file_write_all((dir + "/missing/out.h").c_str(), "x", 1, 1), 0u);
}

TEST(FileWriteAll, WhileWritingAReaderIsRefused) {
    std::string dir = make_temp_dir("share");
    std::string path = dir + "/held.c";
    put(path, "abc");
    // Hold the file the way a writer of ours does, then try to read it.
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(file_read_all(path.c_str(), 0).data, nullptr);
    EXPECT_EQ(file_write_all(path.c_str(), "x", 1, 1), 0u);
    EXPECT_EQ(slurp(path), "abc");
    close(fd);
    data_t text = file_read_all(path.c_str(), 0);
    EXPECT_NE(text.data, nullptr);
    data_os_free(&text);
}

TEST(FileWriteAllCounted, NameLimitIs510Bytes) {
    std::string dir = make_temp_dir("names");
    struct {
        uint64_t length;
        uint64_t written;
    } cases[] = {{510, 1}, {511, 0}, {600, 0}};
    for (auto& c : cases) {
        std::string name = dir + "/";
        // Deep enough that the full path reaches the length, each part short.
        while (name.size() < c.length) {
            std::string part(std::min<size_t>(200, c.length - name.size()), 'n');
            if (name.size() + part.size() < c.length) {
                name += part.substr(0, part.size() - 1);
                mkdir(name.c_str(), 0700);
                name += "/";
            } else {
                name += part;
            }
        }
        ASSERT_EQ(name.size(), c.length);
        EXPECT_EQ(file_write_all_counted(name.data(), name.size(), "x", 1, 1), c.written)
            << c.length;
        data_t view = data_make(0, name.size(), name.data());
        EXPECT_EQ(file_write_all_data(&view, "y", 1, 1), c.written) << c.length;
    }
}

TEST(FileReplaceAll, ReplacesWholeOrLeavesTheOldFile) {
    std::string dir = make_temp_dir("replace");
    std::string path = dir + "/profiler_ids.h";
    put(path, "old header");
    EXPECT_EQ(file_replace_all(path.data(), path.size(), "new header", 10), 1);
    EXPECT_EQ(slurp(path), "new header");
    EXPECT_NE(access((path + ".tmp").c_str(), F_OK), 0);
    // The target is a directory: nothing is replaced and no temporary is left.
    mkdir((dir + "/taken.h").c_str(), 0700);
    std::string taken = dir + "/taken.h";
    EXPECT_EQ(file_replace_all(taken.data(), taken.size(), "x", 1), 0);
    EXPECT_NE(access((taken + ".tmp").c_str(), F_OK), 0);
    std::string missing = dir + "/nowhere/out.h";
    EXPECT_EQ(file_replace_all(missing.data(), missing.size(), "x", 1), 0);
}

TEST(StdOut, ClosedStandardOutputWritesNothing) {
    // In a child, so the test's own output stays open.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(1);
        int result = std_out_write("lost\n", 5);
        _exit(result == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(StdOut, WritesToAPipe) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        data_t text = DATA_LITERAL("out ");
        int ok = std_out_write_data(&text) && std_err_write("err", 3);
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    char buffer[16] = {};
    ssize_t n = 0, got;
    while ((got = read(fds[0], buffer + n, sizeof buffer - 1 - n)) > 0)
        n += got;
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(std::string(buffer, n), "out err");
}

} // namespace
