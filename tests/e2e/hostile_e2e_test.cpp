#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/e2e/run_tool.h"
#include "tests/test_support.h"

// Hostile trees and arguments: each must end cleanly, with the right exit
// code and diagnostic, and either a complete header or the previous one.

namespace {

std::string project_with_previous_header() {
    std::string root = make_temp_dir("hostile");
    write_file(root + "/profiler_ids.h", PREVIOUS_HEADER);
    write_file(root + "/main.c", "profiler_event_start(frame)");
    return root;
}

TEST(Hostile, BinaryFilesWithNulAndHighBytes) {
    std::string root = project_with_previous_header();
    std::string bytes;
    for (int i = 0; i < 70000; ++i)
        bytes += (char)((i * 7919) % 256);
    bytes += std::string(1, '\0') + "profiler_event_start(" + std::string(1, '\0') + "x)\xff" +
             "profiler_initialize(ok)\x80";
    write_file(root + "/blob.c", bytes);
    run_result_t r = run_tool(root, {});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    std::string header = file_text(root + "/profiler_ids.h");
    EXPECT_TRUE(header_complete(header));
    EXPECT_NE(header.find("profiler_timeline_id_ok,"), std::string::npos);
}

TEST(Hostile, IdentifierOfTwentyMiB) {
    std::string root = project_with_previous_header();
    write_file(root + "/huge.c", "profiler_initialize(" + std::string(20 << 20, 'h') + ")");
    run_result_t r = run_tool(root, {});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "tagloomsmith: error: out of working memory for the ids found; no header "
                     "written\n");
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), PREVIOUS_HEADER);
}

TEST(Hostile, SymbolicLinkCyclesAreNotFollowed) {
    std::string root = project_with_previous_header();
    make_dir(root + "/a");
    make_dir(root + "/a/b");
    write_file(root + "/a/b/deep.c", "profiler_event_start(deep)");
    symlink("..", (root + "/a/b/up").c_str());
    symlink(root.c_str(), (root + "/a/root").c_str());
    run_result_t r = run_tool(root, {"-r"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    std::string header = file_text(root + "/profiler_ids.h");
    EXPECT_TRUE(header_complete(header));
    // Found once each: no path through a link was walked.
    EXPECT_EQ(header.find("profiler_event_id_deep,"), header.rfind("profiler_event_id_deep,"));
}

TEST(Hostile, NestingDeeperThanThePathBuffer) {
    std::string root = project_with_previous_header();
    std::string path = root, relative = ".";
    while (relative.size() < 1200) {
        path += "/" + std::string(60, 'n');
        relative += "/" + std::string(60, 'n');
        make_dir(path);
        write_file(path + "/level.c", "profiler_event_start(level)");
    }
    run_result_t r = run_tool(root, {"-r"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "tagloomsmith: warning: subdirectories whose paths exceed 1021 bytes were "
                     "not searched (1)\n");
    EXPECT_TRUE(header_complete(file_text(root + "/profiler_ids.h")));
}

TEST(Hostile, DirectoryArgumentOverTheBuffer) {
    std::string root = project_with_previous_header();
    std::string directory = "./" + std::string(1100, '/') + "x";
    run_result_t r = run_tool(root, {"-d", directory, "-d", "."});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err,
              "tagloomsmith: warning: directory path longer than 1021 bytes, not searched: \"" +
                  directory + "\"\n");
    EXPECT_NE(file_text(root + "/profiler_ids.h").find("profiler_event_id_frame,"),
              std::string::npos);
}

TEST(Hostile, FifoAndDanglingLinkNamedLikeSources) {
    std::string root = project_with_previous_header();
    mkfifo((root + "/a_pipe.c").c_str(), 0600); // opening it for reading would block
    symlink("nowhere.c", (root + "/b_dangling.h").c_str());
    run_result_t r = run_tool(root, {});
    EXPECT_EQ(r.exit_code, 0);
    // Wine shows the FIFO as a device, and no dangling link at all.
    const std::string expected =
        tool_is_windows()
            ? "tagloomsmith: warning: cannot read \".\\a_pipe.c\": not a regular file\n"
            : "tagloomsmith: warning: cannot read \"./a_pipe.c\": not a regular file (and 1 more "
              "file)\n";
    EXPECT_EQ(r.err, expected);
    EXPECT_TRUE(header_complete(file_text(root + "/profiler_ids.h")));
}

TEST(Hostile, FileNamesThatAreNotUtf8) {
    if (tool_is_windows()) GTEST_SKIP() << "Windows names are UTF-16: no name is ill-formed bytes";
    std::string root = project_with_previous_header();
    write_file(root + "/bad\xff\xfe.c", "profiler_event_start(latin)");
    make_dir(root + "/dir\xc3");
    write_file(root + "/dir\xc3/x.c", "profiler_event_start(inside)");
    run_result_t r = run_tool(root, {"-r", "-o", "out\xe9.h"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "out\xe9.h generated.\n");
    std::string header = file_text(root + "/out\xe9.h");
    EXPECT_NE(header.find("profiler_event_id_latin,"), std::string::npos);
    EXPECT_NE(header.find("profiler_event_id_inside,"), std::string::npos);
    // A control byte in the output's name cannot forge a line of its own.
    r = run_tool(root, {"-o", "x\ntagloomsmith: error: forged\x7f.h"});
    EXPECT_EQ(r.out, "x\\ntagloomsmith: error: forged\\x7f.h generated.\n");
    EXPECT_TRUE(header_complete(file_text(root + "/x\ntagloomsmith: error: forged\x7f.h")));
}

TEST(Hostile, MoreIdsThanBothTablesHold) {
    std::string root = project_with_previous_header();
    std::string text;
    for (int i = 0; i < 2100; ++i)
        text += "profiler_initialize(t" + std::to_string(i) + ") profiler_event_start(e" +
                std::to_string(i) + ")\n";
    write_file(root + "/ids.c", text);
    run_result_t r = run_tool(root, {"-s"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err,
              "tagloomsmith: warning: the limit of 2048 timeline ids was reached; raise it with "
              "--max-ids\n"
              "tagloomsmith: warning: the limit of 2048 event ids was reached; raise it with "
              "--max-ids\n");
    std::string header = file_text(root + "/profiler_ids.h");
    EXPECT_TRUE(header_complete(header));
    EXPECT_NE(header.find("profiler_timeline_id_t2047,"), std::string::npos);
    EXPECT_EQ(header.find("profiler_timeline_id_t2048,"), std::string::npos);
}

TEST(Hostile, OutputPathThatIsADirectoryOrInAMissingFolder) {
    const std::string is_directory = os_reason("Is a directory", "Access denied");
    const std::string no_folder = os_reason("No such file or directory", "Path not found");
    struct {
        std::string output, error;
    } cases[] = {
        {"sub", "cannot write \"sub\": " + is_directory},
        {"missing/out.h", "cannot write the temporary file for \"missing/out.h\": " + no_folder},
        {"sub/", "cannot write \"sub/\": " + is_directory},
    };
    for (auto& [output, error] : cases) {
        std::string root = project_with_previous_header();
        make_dir(root + "/sub");
        run_result_t r = run_tool(root, {"-o", output});
        EXPECT_EQ(r.exit_code, 1) << output;
        EXPECT_EQ(r.out, "") << output;
        EXPECT_EQ(r.err, "tagloomsmith: error: " + error + "\n") << output;
        EXPECT_EQ(file_text(root + "/profiler_ids.h"), PREVIOUS_HEADER);
        struct stat info;
        EXPECT_EQ(stat((root + "/sub").c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
    }
}

TEST(Hostile, WorkingMemoryRefused) {
    if (tool_is_windows()) GTEST_SKIP() << "ulimit is POSIX";
#ifdef UNDER_SANITIZER
    GTEST_SKIP() << "the sanitizer runtime needs more address space than the limit leaves";
#endif
    std::string root = project_with_previous_header();
    std::string script =
        "cd '" + root + "' && ulimit -v 8000 && '" + tool_path() + "' 2>err.txt; echo $? >code.txt";
    ASSERT_EQ(std::system(script.c_str()), 0);
    EXPECT_EQ(file_text(root + "/code.txt"), "1\n");
    EXPECT_EQ(file_text(root + "/err.txt"),
              "tagloomsmith: error: cannot obtain the 10 MiB of working memory\n");
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), PREVIOUS_HEADER);
}

TEST(Hostile, StandardErrorClosedToo) {
    if (tool_is_windows()) GTEST_SKIP() << "closed descriptors are POSIX";
    // With both outputs closed, a warning must not land in the header file
    // that takes the lowest free descriptor.
    std::string root = project_with_previous_header();
    std::string script = "cd '" + root + "' && '" + tool_path() + "' -d nowhere -d . >&- 2>&-";
    EXPECT_EQ(std::system(script.c_str()), 0);
    std::string header = file_text(root + "/profiler_ids.h");
    EXPECT_TRUE(header_complete(header));
    EXPECT_EQ(header.find("tagloomsmith"), std::string::npos);
}

} // namespace
