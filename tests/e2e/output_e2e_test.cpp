#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/run_tool.h"
#include "tests/test_support.h"

// Where the header goes: whatever stands at the output path, however many
// runs write it at once, only this run's own temporary file is touched.

namespace {

using strings_t = std::vector<std::string>;

std::string project(int files = 1) {
    std::string root = make_temp_dir("output");
    for (int i = 0; i < files; ++i)
        write_file(root + "/f" + std::to_string(i) + ".c",
                   "profiler_event_start(e" + std::to_string(i) + ")");
    return root;
}

mode_t mode_of(const std::string& path, bool follow = true) {
    struct stat info {};
    (follow ? stat : lstat)(path.c_str(), &info);
    return info.st_mode;
}

// Two kinds of run race on one header over a large tree: every run
// succeeds, and the header is always one of the two whole. A header that is
// replaced is never seen in part by a reader that looks at it again and
// again; one with two names (hard links) is written in place, where the
// runs take turns, so the header never ends up as one run's bytes at the
// other's length.
TEST(Output, ConcurrentRunsReplaceTheHeaderWhole) {
    std::string root = project();
    mkdir((root + "/a").c_str(), 0700);
    for (int i = 0; i < 300; ++i)
        write_file(root + "/a/f" + std::to_string(i) + ".c",
                   "profiler_event_start(a" + std::to_string(i) + std::string(1000, 'x') + ")");
    ASSERT_EQ(run_tool(root, {"-d", "a", "-o", "a.h"}).exit_code, 0);
    ASSERT_EQ(run_tool(root, {"-d", "a", "-x", "f0.c", "-o", "a0.h"}).exit_code, 0);
    const std::string a = file_text(root + "/a.h"), a0 = file_text(root + "/a0.h");
    write_file(root + "/linked.h", PREVIOUS_HEADER);
    link((root + "/linked.h").c_str(), (root + "/linked_too.h").c_str());
    for (const char* output : {"shared.h", "linked.h"}) {
        const bool in_place = output[0] == 'l';
        std::atomic<bool> done{false};
        std::atomic<int> seen{0}, wrong{0};
        std::thread reader([&] {
            while (!done && !in_place) {
                std::string text = file_text(root + "/" + output);
                if (text == "<missing>") continue;
                seen += 1;
                if (text != a && text != a0) wrong += 1;
            }
        });
        const int rounds = tool_is_windows() ? 4 : 40;
        int failed = 0;
        for (int round = 0; round < rounds; ++round) {
            run_result_t results[2];
            std::thread other([&] { results[1] = run_tool(root, {"-d", "a", "-o", output}); });
            results[0] = run_tool(root, {"-d", "a", "-x", "f0.c", "-o", output});
            other.join();
            for (auto& r : results)
                failed += r.exit_code != 0 || r.err != "";
            const std::string text = file_text(root + "/" + output);
            wrong += text != a && text != a0;
        }
        done = true;
        reader.join();
        EXPECT_EQ(failed, 0) << output;
        EXPECT_EQ(wrong, 0) << output << ": of " << seen << " reads";
        EXPECT_TRUE(in_place || seen > 0);
        EXPECT_EQ(temporary_files(root), strings_t{});
    }
    EXPECT_EQ(file_text(root + "/linked_too.h"), file_text(root + "/linked.h"));
}

// Names this run could pick for its temporary file, taken beforehand by a
// link and by a user's own unreadable file: neither is followed, opened or
// removed, on success or failure.
TEST(Output, TakenTemporaryNamesAreLeftAlone) {
    if (tool_is_windows()) GTEST_SKIP() << "the Windows process id is not the one fork gives";
    for (bool fail : {false, true}) {
        std::string root = project();
        write_file(root + "/victim", "victim");
        run_options_t options;
        if (fail) options.file_size_limit = 100;
        strings_t planted;
        options.before_start = [&](pid_t pid) {
            std::string name = ".profiler_ids.h." + std::to_string(pid) + "-";
            planted = {name + "0.tmp", name + "1.tmp"};
            symlink("victim", (root + "/" + planted[0]).c_str());
            write_file(root + "/" + planted[1], "mine");
            chmod((root + "/" + planted[1]).c_str(), 0);
        };
        run_result_t r = run_tool(root, {}, options);
        EXPECT_EQ(r.exit_code, fail ? 1 : 0);
        EXPECT_EQ(header_complete(file_text(root + "/profiler_ids.h")), !fail);
        EXPECT_EQ(file_text(root + "/victim"), "victim");
        EXPECT_TRUE(S_ISLNK(mode_of(root + "/" + planted[0], false)));
        chmod((root + "/" + planted[1]).c_str(), 0600);
        EXPECT_EQ(file_text(root + "/" + planted[1]), "mine");
        EXPECT_EQ(temporary_files(root).size(), 2u);
    }
}

// (Under Wine, where a link is a plain file to the program, the file it
// names is found by its final path; a dangling one stays a POSIX case.)
TEST(Output, SymbolicLinkKeepsTheLinkAndReplacesItsTarget) {
    std::string root = project();
    mkdir((root + "/real").c_str(), 0700);
    write_file(root + "/real/target.h", PREVIOUS_HEADER);
    symlink("real/target.h", (root + "/link.h").c_str());
    symlink("real/made.h", (root + "/dangling.h").c_str());
    // A relative link is read from its own folder; links may chain.
    symlink("target.h", (root + "/real/near.h").c_str());
    symlink("real/near.h", (root + "/chain.h").c_str());
    for (const char* output : {"link.h", "dangling.h", "real/near.h", "chain.h"}) {
        if (tool_is_windows() && output[0] == 'd') continue;
        run_result_t r = run_tool(root, {"-o", output});
        EXPECT_EQ(r.exit_code, 0) << output;
        EXPECT_TRUE(S_ISLNK(mode_of(root + "/" + output, false))) << output;
        EXPECT_TRUE(header_complete(file_text(root + "/" + output))) << output;
    }
    EXPECT_TRUE(tool_is_windows() || header_complete(file_text(root + "/real/made.h")));
    EXPECT_TRUE(S_ISREG(mode_of(root + "/real/target.h", false)));
    EXPECT_EQ(file_text(root + "/target.h"), "<missing>");
    EXPECT_EQ(temporary_files(root), strings_t{});
    EXPECT_EQ(temporary_files(root + "/real"), strings_t{});
}

// A FIFO and a character device are written into and stay what they are.
TEST(Output, DevicesAreWrittenIntoNotReplaced) {
    if (tool_is_windows()) GTEST_SKIP() << "NUL is the Windows case";
    std::string root = project();
    ASSERT_EQ(mkfifo((root + "/fifo").c_str(), 0600), 0);
    std::string read_back;
    std::thread reader([&] { read_back = file_text(root + "/fifo"); });
    run_result_t r = run_tool(root, {"-o", "fifo"});
    reader.join();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "fifo generated.\n");
    EXPECT_TRUE(header_complete(read_back));
    EXPECT_TRUE(S_ISFIFO(mode_of(root + "/fifo")));
    // The null device's numbers, made in the test's own folder.
    if (mknod((root + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        r = run_tool(root, {"-o", "null"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_TRUE(S_ISCHR(mode_of(root + "/null")));
    }
    EXPECT_EQ(temporary_files(root), strings_t{});
}

TEST(Output, NulDeviceOnWindows) {
    if (!tool_is_windows()) GTEST_SKIP() << "a Windows device name";
    std::string root = project();
    run_result_t r = run_tool(root, {"-o", "NUL"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "NUL generated.\n");
    EXPECT_EQ(file_text(root + "/NUL"), "<missing>");
    EXPECT_EQ(temporary_files(root), strings_t{});
}

TEST(Output, DashWritesTheHeaderToStandardOutput) {
    std::string root = project();
    run_result_t r = run_tool(root, {"-o", "-"});
    EXPECT_EQ(r.exit_code, 0);
    ASSERT_EQ(run_tool(root, {"-o", "file.h"}).exit_code, 0);
    EXPECT_EQ(r.out, file_text(root + "/file.h")); // and no final line
    EXPECT_EQ(file_text(root + "/-"), "<missing>");
    // A full device (its numbers, made in the test's own folder) fails the run.
    if (!tool_is_windows() && mknod((root + "/full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        run_options_t options;
        options.stdout_path = root + "/full";
        r = run_tool(root, {"-o", "-"}, options);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "tagloomsmith: error: cannot write the header to standard output\n");
    }
}

TEST(Output, NameOf255Bytes) {
    if (tool_is_windows()) GTEST_SKIP() << "Windows names stop at 255 UTF-16 units with the dot";
    std::string root = project();
    std::string name(253, 'n');
    name += ".h";
    run_result_t r = run_tool(root, {"-o", name});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(header_complete(file_text(root + "/" + name)));
}

TEST(Output, PermissionBitsAreKeptAndAReadOnlyFileIsRefused) {
    if (tool_is_windows()) GTEST_SKIP() << "permission bits are POSIX";
    std::string root = project();
    // Set-user-id, set-group-id and sticky bits too, where root replaces.
    for (mode_t mode : {06755, 02755, 04755, 01755, 0604}) {
        write_file(root + "/kept.h", PREVIOUS_HEADER);
        chmod((root + "/kept.h").c_str(), mode);
        EXPECT_EQ(run_tool(root, {"-o", "kept.h"}).exit_code, 0);
        EXPECT_EQ(mode_of(root + "/kept.h") & 07777, mode);
        EXPECT_TRUE(header_complete(file_text(root + "/kept.h")));
    }
    // The refusal is seen as nobody, in a folder nobody may change.
    write_file(root + "/read_only.h", PREVIOUS_HEADER);
    chmod((root + "/read_only.h").c_str(), 0444);
    run_result_t r = run_tool(root, {"-o", "read_only.h"}, as_nobody(root));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "tagloomsmith: error: cannot write \"read_only.h\": Permission denied\n");
    EXPECT_EQ(file_text(root + "/read_only.h"), PREVIOUS_HEADER);
    EXPECT_EQ(temporary_files(root), strings_t{});
    // Where no temporary file may be made but the file may be written (a
    // folder nobody may change), it is written in place; so is a file with
    // two names, which both see the new header. Root keeps the owner.
    write_file(root + "/writable.h", PREVIOUS_HEADER);
    chmod((root + "/writable.h").c_str(), 0666);
    const run_options_t nobody = as_nobody(root);
    chmod(root.c_str(), 0755);
    r = run_tool(root, {"-o", "writable.h"}, nobody);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(header_complete(file_text(root + "/writable.h")));
    // So is one in a sticky folder, where the file, another user's, may be
    // written but not renamed over. A user's own set-user-id file keeps
    // its bit (which the user's writes clear).
    mkdir((root + "/sticky").c_str(), 01777);
    chmod((root + "/sticky").c_str(), 01777);
    write_file(root + "/sticky/theirs.h", PREVIOUS_HEADER);
    chmod((root + "/sticky/theirs.h").c_str(), 0666);
    write_file(root + "/sticky/mine.h", PREVIOUS_HEADER);
    chown((root + "/sticky/mine.h").c_str(), 65534, 65534);
    chmod((root + "/sticky/mine.h").c_str(), 04755);
    for (const char* output : {"sticky/theirs.h", "sticky/mine.h"}) {
        r = run_tool(root, {"-o", output}, nobody);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(header_complete(file_text(root + "/" + output))) << output;
    }
    EXPECT_EQ(mode_of(root + "/sticky/mine.h") & 07777, 04755u);
    EXPECT_EQ(temporary_files(root + "/sticky"), strings_t{});
    write_file(root + "/first.h", PREVIOUS_HEADER);
    ASSERT_EQ(link((root + "/first.h").c_str(), (root + "/second.h").c_str()), 0);
    // Room runs out before a byte is written in place, not halfway.
    run_options_t small;
    small.file_size_limit = 64;
    EXPECT_EQ(run_tool(root, {"-o", "first.h"}, small).exit_code, 1);
    EXPECT_EQ(file_text(root + "/second.h"), PREVIOUS_HEADER);
    EXPECT_EQ(run_tool(root, {"-o", "first.h"}).exit_code, 0);
    EXPECT_TRUE(header_complete(file_text(root + "/second.h")));
    EXPECT_EQ(file_text(root + "/first.h"), file_text(root + "/second.h"));
    write_file(root + "/owned.h", PREVIOUS_HEADER);
    ASSERT_EQ(chown((root + "/owned.h").c_str(), 65534, 65534), 0);
    EXPECT_EQ(run_tool(root, {"-o", "owned.h"}).exit_code, 0);
    struct stat info {};
    stat((root + "/owned.h").c_str(), &info);
    EXPECT_EQ(info.st_uid * 100000 + info.st_gid, 65534u * 100000 + 65534u);
    EXPECT_TRUE(header_complete(file_text(root + "/owned.h")));
    EXPECT_EQ(temporary_files(root), strings_t{});
}

// An interrupt at the worst moment: right after the temporary file is made
// (before its removal is armed), or between the bytes written in place and
// the cut to their length, over a longer old header. The run ends as the
// signal ends it, with the old header or the whole new one, and no
// temporary file. (strace sends the signal as the call is entered; Windows'
// console events cannot be sent under Wine.)
TEST(Output, InterruptsNeverLeaveAPartOrATemporaryFile) {
    if (tool_is_windows()) GTEST_SKIP() << "signals are POSIX";
    if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs strace";
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer defers a signal to a point of its own choosing";
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
    GTEST_SKIP() << "ThreadSanitizer defers a signal to a point of its own choosing";
#endif
#endif
    const std::string old = PREVIOUS_HEADER + std::string(100000, '/');
    for (const char* call : {"flock", "write", "openat"}) {
        std::string root = project();
        write_file(root + "/out.h", old);
        if (call[0] == 'w') {
            ASSERT_EQ(link((root + "/out.h").c_str(), (root + "/too.h").c_str()), 0);
        }
        run_options_t options;
        options.exe = "strace";
        strings_t args = {"-f", "-qq",
                          "-o", "trace",
                          "-e", std::string("trace=") + call,
                          "-e", std::string("inject=") + call + ":signal=SIGTERM:when=1"};
        if (call[0] == 'o') {
            // Among its own process ids the run's is small: the first name
            // it tries is taken by someone's file, the signal comes as the
            // open fails, and the file is not the run's to remove.
            options.exe = "unshare";
            args.insert(args.begin(), {"-p", "-f", "strace"});
            for (int pid = 2; pid < 10; ++pid) {
                args.insert(args.end(), {"-P", ".out.h." + std::to_string(pid) + "-0.tmp"});
                write_file(root + "/" + args.back(), "theirs");
            }
        }
        args.insert(args.end(), {tool_path(), "-e", "c", "-s", "-o", "out.h"});
        run_result_t r = run_tool(root, args, options);
        EXPECT_EQ(r.exit_code, 128 + SIGTERM) << call << r.err;
        const std::string text = file_text(root + "/out.h");
        EXPECT_TRUE(text == old || header_complete(text)) << call;
        EXPECT_EQ(text != old, call[0] == 'w') << call;
        const strings_t left = temporary_files(root);
        EXPECT_EQ(left.size(), call[0] == 'o' ? 1u : 0u) << call;
        for (const std::string& name : left)
            EXPECT_EQ(file_text(root + "/" + name), "theirs");
    }
}

// Temporary files left by runs that were killed (SIGKILL, TerminateProcess)
// go with the next run over the same output: only that output's, only
// those whose process is gone.
TEST(Output, StaleTemporaryFilesOfGoneRunsAreRemoved) {
    std::string root = project();
    const pid_t dead = fork(); // a process id nobody has: a child that ended
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string d = std::to_string(dead), n = ".profiler_ids.h.";
    strings_t removed = {n + d + "-0.tmp", n + d + "-17.tmp", n + d + "-199.tmp",
                         "sub/.out.h." + d + "-3.tmp"};
    strings_t kept = {n + std::string(11 - d.size(), '0') + d + "-0.tmp",
                      n + std::to_string(4294967296ull + dead) + "-0.tmp",
                      n + "0" + d + "-0.tmp", // numbers the tool never writes
                      n + d + "-00.tmp",
                      n + d + "-200.tmp",
                      n + d + "-0.tmp.x",
                      n + d + "-0.tm",
                      n + d + "-.tmp",
                      n + "-0.tmp",
                      n + "0-0.tmp",
                      n + d + ".0.tmp",
                      n + d + "-0-tmp",
                      ".other.h." + d + "-0.tmp",
                      ".profiler_idx.h." + d + "-0.tmp",
                      ".profiler_ids.hh." + d + "-0.tmp",
                      "profiler_ids.h." + d + "-0.tmp",
                      "sub/" + n + d + "-3.tmp"};
    if (!tool_is_windows()) { // Linux process ids: alive, and past the largest pid_t
        kept.push_back(n + std::to_string(getpid()) + "-0.tmp");
        kept.push_back(n + "2147483648-0.tmp");
    }
    mkdir((root + "/sub").c_str(), 0700);
    mkdir((root + "/" + n + d + "-1.tmp").c_str(), 0700); // a folder is no temporary file
    for (const strings_t* names : {&removed, &kept})
        for (const std::string& name : *names)
            write_file(root + "/" + name, "left");
    EXPECT_EQ(run_tool(root, {"-e", "c"}).exit_code, 0);
    EXPECT_EQ(run_tool(root, {"-e", "c", "-o", "sub/out.h"}).exit_code, 0);
    for (const strings_t* names : {&removed, &kept})
        for (const std::string& name : *names)
            EXPECT_EQ(file_text(root + "/" + name), names == &kept ? "left" : "<missing>") << name;
    EXPECT_TRUE(S_ISDIR(mode_of(root + "/" + n + d + "-1.tmp")));
    // Another user's live process is one the run may not signal: not gone.
    const std::string theirs = ".nobody.h." + std::to_string(getpid()) + "-0.tmp";
    write_file(root + "/" + theirs, "left");
    if (!tool_is_windows()) {
        EXPECT_EQ(run_tool(root, {"-e", "c", "-o", "nobody.h"}, as_nobody(root)).exit_code, 0);
        EXPECT_EQ(file_text(root + "/" + theirs), "left");
    }
}

// The same header again leaves the file alone: a build that runs the tool
// before every compile then rebuilds nothing.
TEST(Output, UnchangedHeaderIsNotWritten) {
    std::string root = project(3);
    ASSERT_EQ(run_tool(root, {}).exit_code, 0);
    struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (root + "/profiler_ids.h").c_str(), old_times, 0), 0);
    run_result_t r = run_tool(root, {});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "profiler_ids.h generated.\n");
    struct stat info;
    ASSERT_EQ(stat((root + "/profiler_ids.h").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
    // Checked out with CRLF line endings (git's autocrlf), it still holds
    // the header: left alone, and up to date for --check.
    const std::string crlf = with_crlf(file_text(root + "/profiler_ids.h"));
    write_file(root + "/profiler_ids.h", crlf);
    ASSERT_EQ(utimensat(AT_FDCWD, (root + "/profiler_ids.h").c_str(), old_times, 0), 0);
    EXPECT_EQ(run_tool(root, {}).exit_code, 0);
    EXPECT_EQ(run_tool(root, {"--check"}).out, "profiler_ids.h is up to date.\n");
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), crlf);
    ASSERT_EQ(stat((root + "/profiler_ids.h").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
    // A new id changes it.
    write_file(root + "/new.c", "profiler_event_start(added)");
    EXPECT_EQ(run_tool(root, {}).exit_code, 0);
    ASSERT_EQ(stat((root + "/profiler_ids.h").c_str(), &info), 0);
    EXPECT_NE(info.st_mtim.tv_sec, 1000000000);
}

} // namespace
