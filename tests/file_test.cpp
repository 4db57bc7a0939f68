#include <gtest/gtest.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/file.h"
#include "base/platform/platform.h"
#include "tests/test_support.h"

namespace {

TEST(FileReadAll, Table) {
    std::string dir = make_temp_dir("read");
    write_file(dir + "/empty.c", "");
    write_file(dir + "/three.c", "abc");
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

TEST(FileReadAll, BackslashIsANameByte) {
    std::string dir = make_temp_dir("backslash");
    write_file(dir + "/back\\slash.c", "xyz");
    data_t text = file_read_all((dir + "/back\\slash.c").c_str(), 0);
    ASSERT_NE(text.data, nullptr);
    EXPECT_EQ(std::string((char*)text.data, text.used), "xyz");
    data_os_free(&text);
}

TEST(FileReader, PiecesUpToTheSizeTakenAtOpen) {
    std::string dir = make_temp_dir("reader");
    std::string path = dir + "/grows.c";
    write_file(path, "0123456789");
    file_reader_t reader;
    ASSERT_EQ(file_reader_open(&reader, path.c_str(), 1), 1);
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
    EXPECT_EQ(file_reader_open(&reader, (dir + "/missing.c").c_str(), 0), 0);
}

TEST(FileReader, AFileThatShrinksFailsInsteadOfLoopingForEver) {
    std::string dir = make_temp_dir("shrink");
    std::string path = dir + "/shrinks.c";
    write_file(path, std::string(100, 'x'));
    file_reader_t reader;
    ASSERT_EQ(file_reader_open(&reader, path.c_str(), 1), 1);
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
    EXPECT_EQ(file_text(path), "first");
    EXPECT_EQ(file_write_all(path.c_str(), "2nd", 3, 1), 3u); // emptied and rewritten
    EXPECT_EQ(file_text(path), "2nd");
    EXPECT_EQ(file_write_all(path.c_str(), "", 0, 1), 0u);
    EXPECT_EQ(file_text(path), "");
    struct stat info;
    EXPECT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(file_write_all((dir + "/missing/out.h").c_str(), "x", 1, 1), 0u);
}

TEST(FileWriteAll, WhileWritingAReaderIsRefused) {
    std::string dir = make_temp_dir("share");
    std::string path = dir + "/held.c";
    write_file(path, "abc");
    // Hold the file the way a writer of ours does, then try to read it.
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(file_read_all(path.c_str(), 0).data, nullptr);
    EXPECT_EQ(file_write_all(path.c_str(), "x", 1, 1), 0u);
    // A reader that asks for no lock (the scan's) reads it all the same.
    file_reader_t reader;
    EXPECT_EQ(file_reader_open(&reader, path.c_str(), 0), 1);
    file_reader_close(&reader);
    EXPECT_EQ(file_text(path), "abc");
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

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d))
            if (e->d_name[0] != '.' || (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")))
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileReplaceAll, OutcomesLeaveNoTemporaryFile) {
    // The first line ending falls where the reader's first piece of 16384
    // bytes ends: a CR there meets its LF only in the next piece.
    const std::string first = std::string(16383, '#');
    const std::string text = first + "\nfresh\n";
    const std::string crlf = first + "\r\nfresh\r\n";
    struct {
        const char* name;
        std::string path;
        file_replace_outcome_t outcome;
        uint32_t error, temporary;
        const char* after;       // the output's bytes afterwards
        std::string before = ""; // the output's bytes before, when not empty
    } cases[] = {
        {"new file", "new.h", FILE_REPLACED, 0, 0, "fresh"},
        {"old file", "old.h", FILE_REPLACED, 0, 0, "fresh"},
        {"same bytes", "same.h", FILE_UNCHANGED, 0, 0, "fresh"},
        {"directory", "folder", FILE_FAILED, EISDIR, 0, nullptr},
        {"missing folder", "nowhere/out.h", FILE_FAILED, ENOENT, 1, nullptr},
        {"folder with a slash", "folder/", FILE_FAILED, EISDIR, 0, nullptr},
        {"too long", std::string(FILE_PATH_CAPACITY, 'n'), FILE_FAILED,
         PLATFORM_ERROR_PATH_TOO_LONG, 0, nullptr},
        // Written in place over a longer file: cut to the new length.
        {"two names", "linked.h", FILE_WRITTEN_IN_PLACE, 0, 0, "fresh"},
        // A checkout with CRLF line endings holds the same text; any other
        // difference is a different file.
        {"CRLF line endings", "crlf.h", FILE_UNCHANGED, 0, 0, "crlf", crlf},
        {"mixed line endings", "mixed.h", FILE_UNCHANGED, 0, 0, "mixed", first + "\r\nfresh\n"},
        {"CRLF for another byte", "byte.h", FILE_REPLACED, 0, 0, "fresh", first + "\nfres\r\n\n"},
        {"two CRs", "crcr.h", FILE_REPLACED, 0, 0, "fresh", first + "\nfresh\r\r\n"},
        {"CR and another byte for an LF", "crx.h", FILE_REPLACED, 0, 0, "fresh",
         first + "\r#fresh\n"},
        {"CR at the end", "crend.h", FILE_REPLACED, 0, 0, "fresh", first + "\nfresh\r"},
        {"space before LF", "space.h", FILE_REPLACED, 0, 0, "fresh", first + "\nfresh \n"},
        {"shorter", "short.h", FILE_REPLACED, 0, 0, "fresh", first + "\r\nfresh"},
        {"longer by a line ending", "long.h", FILE_REPLACED, 0, 0, "fresh", crlf + "\r\n"},
    };
    std::string dir = make_temp_dir("replace");
    write_file(dir + "/old.h", "old header");
    write_file(dir + "/same.h", text);
    mkdir((dir + "/folder").c_str(), 0700);
    write_file(dir + "/linked.h", text + "and a longer old tail");
    link((dir + "/linked.h").c_str(), (dir + "/other_name.h").c_str());
    struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, (dir + "/same.h").c_str(), old_times, 0);
    for (auto& c : cases) {
        if (!c.before.empty()) write_file(dir + "/" + c.path, c.before);
    }
    // Only the run's check takes a CR for nothing.
    EXPECT_EQ(file_holds_exactly((dir + "/crlf.h").c_str(), text.data(), text.size()), 0);
    EXPECT_EQ(file_holds_exactly((dir + "/same.h").c_str(), text.data(), text.size()), 1);
    for (auto& c : cases) {
        std::string path = dir + "/" + c.path;
        file_replace_t r = file_replace_all(path.data(), path.size(), text.data(), text.size());
        EXPECT_EQ(r.outcome, c.outcome) << c.name;
        EXPECT_EQ(r.error, c.error) << c.name;
        EXPECT_EQ(r.temporary, c.temporary) << c.name;
        if (c.after) {
            const std::string after = !strcmp(c.after, "crlf")    ? crlf
                                      : !strcmp(c.after, "mixed") ? c.before
                                                                  : text;
            EXPECT_EQ(file_text(path), after) << c.name;
        }
    }
    struct stat info;
    ASSERT_EQ(stat((dir + "/same.h").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1000000000); // not even opened for writing
    EXPECT_EQ(file_text(dir + "/other_name.h"), text);
    EXPECT_EQ(entries(dir),
              (std::vector<std::string>{"byte.h", "crcr.h", "crend.h", "crlf.h", "crx.h", "folder",
                                        "linked.h", "long.h", "mixed.h", "new.h", "old.h",
                                        "other_name.h", "same.h", "short.h", "space.h"}));
    EXPECT_EQ(entries(dir + "/folder"), std::vector<std::string>{});
}

// An interrupted run removes its temporary file, then ends as the signal
// would have ended it; once disarmed, nothing is removed; a signal the
// caller ignores stays ignored; one that comes while interrupts are held
// acts when they are let go, not before. (Windows' console events cannot
// be sent to a process under Wine; the handler there follows the
// SetConsoleCtrlHandler documentation.)
TEST(FileReplaceAll, InterruptRemovesTheTemporaryFile) {
    std::string dir = make_temp_dir("interrupt");
    const std::string path = dir + "/.x.h.1-0.tmp", marker = dir + "/went_on";
    struct {
        int disarm, ignore, hold; // ignore 2: blocked by the caller, held or not
        const char* left;         // the temporary file afterwards
    } cases[] = {
        {0, 0, 0, "<missing>"}, {1, 0, 0, "partial"}, {0, 1, 0, "partial"},
        {0, 0, 1, "<missing>"}, {0, 2, 1, "partial"},
    };
    for (auto& c : cases) {
        for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
            const std::string name = std::to_string(signal_number) + " " +
                                     std::to_string(c.disarm) + std::to_string(c.ignore) +
                                     std::to_string(c.hold);
            write_file(path, "partial");
            unlink(marker.c_str());
            const pid_t child = fork();
            if (child == 0) {
                sigset_t blocked;
                sigemptyset(&blocked);
                sigaddset(&blocked, signal_number);
                if (c.ignore == 1) signal(signal_number, SIG_IGN);
                if (c.ignore == 2) sigprocmask(SIG_BLOCK, &blocked, nullptr);
                if (c.hold) platform_interrupts_hold(1);
                platform_remove_on_interrupt(path.c_str());
                if (c.disarm) platform_remove_on_interrupt(nullptr);
                raise(signal_number);
                write_file(marker, "yes"); // only a held or ignored signal gets here
                if (c.hold) platform_interrupts_hold(0);
                _exit(0);
            }
            int status = 0;
            waitpid(child, &status, 0);
            const bool ends = !c.ignore;
            EXPECT_EQ(WIFSIGNALED(status) && WTERMSIG(status) == signal_number, ends) << name;
            EXPECT_EQ(file_text(marker), c.hold || c.ignore ? "yes" : "<missing>") << name;
            EXPECT_EQ(file_text(path), c.left) << name;
        }
    }
}

// An in-place write waits for the one before it: while another writer (or
// a whole-file read of ours) holds the file's lock, the file is not touched.
TEST(FileReplaceAll, InPlaceWritesTakeTurns) {
    std::string dir = make_temp_dir("turns");
    const std::string path = dir + "/ids.h";
    write_file(path, "the other run's header");
    ASSERT_EQ(link(path.c_str(), (dir + "/second_name.h").c_str()), 0);
    const int held = open(path.c_str(), O_WRONLY);
    ASSERT_EQ(flock(held, LOCK_SH), 0);
    const pid_t child = fork();
    if (child == 0) {
        const file_replace_t r = file_replace_all(path.data(), path.size(), "mine", 4);
        _exit(r.outcome == FILE_WRITTEN_IN_PLACE ? 0 : 1);
    }
    usleep(100000);
    EXPECT_EQ(file_text(path), "the other run's header");
    flock(held, LOCK_UN);
    close(held);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(file_text(path), "mine");
}

// Two names for one file: the same device and inode. The same inode
// number on another device is another file.
TEST(FileId, SameOnlyWhenVolumeAndIndexAgree) {
    EXPECT_EQ(file_id_equal({1, 42}, {1, 42}), 1);
    EXPECT_EQ(file_id_equal({1, 42}, {2, 42}), 0);
    EXPECT_EQ(file_id_equal({1, 42}, {1, 43}), 0);
}

TEST(FileTemporaryName, BesideTheTargetHiddenAndShort) {
    const std::string long_name = std::string(199, 'x') + "\xc3\xa9" + "y.h"; // é across byte 200
    struct {
        std::string target;
        uint32_t process, attempt;
        std::string expected;
    } cases[] = {
        {"profiler_ids.h", 42, 0, ".profiler_ids.h.42-0.tmp"},
        {"out/ids.h", 4294967295u, 99, "out/.ids.h.4294967295-99.tmp"},
        {"/abs/dir/", 7, 1, "/abs/dir/..7-1.tmp"},
        {"a/" + std::string(255, 'n'), 1, 2, "a/." + std::string(200, 'n') + ".1-2.tmp"},
        {long_name, 3, 0, "." + std::string(199, 'x') + ".3-0.tmp"},
    };
    for (auto& c : cases) {
        char out[FILE_PATH_CAPACITY];
        uint64_t n = file_temporary_name(c.target.c_str(), c.target.size(), c.process, c.attempt,
                                         out, sizeof out);
        EXPECT_EQ(std::string(out, n), c.expected) << c.target;
        EXPECT_EQ(out[n], 0);
        EXPECT_LE(c.expected.size() - c.expected.rfind('/') - 1, 255u);
    }
    char small[40];
    EXPECT_EQ(file_temporary_name("abcdefghijklm.h", 15, 1, 1, small, sizeof small), 0u);
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
