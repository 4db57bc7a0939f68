#include <gtest/gtest.h>

#include <sys/stat.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/run_tool.h"
#include "tests/test_support.h"

// What only Windows has: the process splits its own UTF-16 command line.
// launch.exe starts the tool with an exact command line, so quoting,
// backslashes, non-ASCII text and ill-formed UTF-16 reach it as written.

namespace {

using strings_t = std::vector<std::string>;

std::string windows_path(const std::string& unix_path) {
    std::string p = "Z:" + unix_path;
    for (char& c : p)
        c = c == '/' ? '\\' : c;
    return p;
}

// UTF-8 to UTF-16 units; "\xED\xA0\x80" style surrogates pass through as
// units, so ill-formed text can be built on purpose.
std::u16string utf16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = (unsigned char)s[i];
        uint32_t cp;
        int n;
        if (c < 0x80)
            cp = c, n = 1;
        else if (c < 0xE0)
            cp = c & 0x1F, n = 2;
        else if (c < 0xF0)
            cp = c & 0x0F, n = 3;
        else
            cp = c & 0x07, n = 4;
        for (int k = 1; k < n; ++k)
            cp = cp << 6 | ((unsigned char)s[i + k] & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += (char16_t)(0xD800 + (cp >> 10));
            out += (char16_t)(0xDC00 + (cp & 0x3FF));
        } else {
            out += (char16_t)cp;
        }
    }
    return out;
}

run_result_t launch(const std::string& cwd, const std::u16string& command_line) {
    std::string file = cwd + "/command_line.bin";
    write_file(file, std::string((const char*)command_line.data(), command_line.size() * 2));
    std::string tool = windows_path(tool_path());
    // run_tool starts "$TAGLOOMSMITH_RUNNER $TAGLOOMSMITH_EXE args": here the
    // program is launch.exe and the tool is its argument.
    std::string saved = tool_path();
    setenv("TAGLOOMSMITH_EXE", TAGLOOMSMITH_LAUNCH_EXE, 1);
    run_result_t r = run_tool(cwd, {tool, windows_path(file)});
    setenv("TAGLOOMSMITH_EXE", saved.c_str(), 1);
    return r;
}

std::string warning_for(const std::string& directory) {
    return "tagloomsmith: warning: cannot search directory \"" + directory + "\"\n";
}

// The warnings with the system's reasons left out: what matters here is
// which directories the command line named.
std::string without_reasons(const std::string& err) {
    return std::regex_replace(err, std::regex("\": [^\n]*\n"), "\"\n");
}

class Windows : public testing::Test {
  protected:
    void SetUp() override {
        if (!tool_is_windows()) GTEST_SKIP() << "needs TAGLOOMSMITH_EXE to name tagloomsmith.exe";
    }
};

TEST_F(Windows, QuotesAndBackslashesSplitAsOnWindows) {
    struct {
        std::string tail;
        std::vector<std::string> directories;
        std::string said_first = "";
        int exit_code = 0;
    } cases[] = {
        {"-d \"a b\" -d c", {"a b", "c"}},
        {"-d a\\\\\\\"b", {"a\\\"b"}},
        {"-d a\\\\\"b c\"", {"a\\b c"}},
        // "" is an empty argument, as every Windows program reads it: the
        // value of its -d (an error), not a gap that makes the next -d the value.
        {"-d \"\" -d x", {}, "tagloomsmith: error: -d has an empty value\n", 1},
        {"-d \"a\"\"b\"", {"ab"}},
        {"\t -d   tab\t", {"tab"}},
        {"-d caf\xC3\xA9 -d \xE2\x82\xAC\xF0\x9F\x98\x80",
         {"caf\xC3\xA9", "\xE2\x82\xAC\xF0\x9F\x98\x80"}},
    };
    for (auto& c : cases) {
        std::string root = make_temp_dir("win_split");
        run_result_t r = launch(root, utf16("tagloomsmith.exe " + c.tail + " -s"));
        std::string expected = c.said_first;
        for (auto& d : c.directories)
            expected += warning_for(d);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.tail;
        EXPECT_EQ(without_reasons(r.err), expected) << c.tail;
    }
}

TEST_F(Windows, DirectoryWithSpacesIsSearched) {
    std::string root = make_temp_dir("win_spaces");
    mkdir((root + "/my src").c_str(), 0700);
    write_file(root + "/my src/a.c", "profiler_event_start(spaced)");
    run_result_t r = launch(root, utf16("tagloomsmith.exe -d \"my src\" -o \"out put.h\""));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "out put.h generated.\n");
    EXPECT_NE(file_text(root + "/out put.h").find("profiler_event_id_spaced,"), std::string::npos);
}

// A source file named like a device (NUL, CON) opens the device: it is
// never read, and said to be no regular file.
TEST_F(Windows, DeviceNamesAreNotRead) {
    std::string root = make_temp_dir("win_devices");
    write_file(root + "/nul.c", "profiler_event_start(device)");
    write_file(root + "/real.c", "profiler_event_start(real)");
    run_result_t r = launch(root, utf16("tagloomsmith.exe -o -"));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "tagloomsmith: warning: cannot read \".\\nul.c\": not a regular file\n");
    EXPECT_EQ(r.out.find("profiler_event_id_device,"), std::string::npos);
    EXPECT_NE(r.out.find("profiler_event_id_real,"), std::string::npos);
}

TEST_F(Windows, CommandLineFailuresAreErrors) {
    const std::string limit =
        "tagloomsmith: error: Empty command line or tool long command line.\n";
    const std::string ill = "tagloomsmith: error: the command line is not well-formed UTF-16\n";
    std::u16string lone_high = utf16("tagloomsmith.exe -d x");
    lone_high += (char16_t)0xD800;
    std::u16string lone_low = utf16("tagloomsmith.exe ");
    lone_low += (char16_t)0xDC00;
    lone_low += u" -s";
    struct {
        const char* name;
        std::u16string line;
        std::string error;
    } cases[] = {
        // An empty command line cannot be tested here: Wine hands the program
        // its own name instead. The unit tests cover it.
        {"only quotes", u"\"\"\"\"", limit},
        {"fills the buffer", utf16("tagloomsmith.exe -d " + std::string(2100, 'x')), limit},
        {"unpaired high surrogate", lone_high, ill},
        {"unpaired low surrogate", lone_low, ill},
    };
    for (auto& c : cases) {
        std::string root = make_temp_dir("win_fail");
        run_result_t r = launch(root, c.line);
        EXPECT_EQ(r.exit_code, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err, c.error) << c.name;
        EXPECT_EQ(file_text(root + "/profiler_ids.h"), "<missing>") << c.name;
    }
}

TEST_F(Windows, LongestCommandLineThatFits) {
    // 2000 bytes of arguments still leave room for their pointers.
    std::string root = make_temp_dir("win_long");
    std::string name(1900, 'd');
    run_result_t r = launch(root, utf16("tagloomsmith.exe -s -d " + name));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err,
              "tagloomsmith: warning: directory path longer than 1021 bytes, not searched: \"" +
                  name + "\"\n");
}

// Paths with letters outside ASCII, inside and outside the ANSI code page
// (1252 here, as on Western Windows): found, read and written under exactly
// their names.
TEST_F(Windows, NonAsciiPathsKeepTheirNames) {
    std::string root = make_temp_dir("win_accents");
    mkdir((root + "/caf\xC3\xA9").c_str(), 0700);
    write_file(root + "/caf\xC3\xA9/a.c", "profiler_event_start(accent)");
    mkdir((root + "/caf\xC3\xA9/\xCE\xA9mega").c_str(), 0700); // Greek: not in 1252
    write_file(root + "/caf\xC3\xA9/\xCE\xA9mega/\xE6\x97\xA5.c", "profiler_event_start(omega)");
    for (const char* output : {"r\xC3\xA9sum\xC3\xA9.h", "caf\xC3\xA9/\xCE\xA9.h"}) {
        run_result_t r =
            launch(root, utf16(std::string("tagloomsmith.exe -r -d caf\xC3\xA9 -o ") + output));
        EXPECT_EQ(r.exit_code, 0) << output;
        EXPECT_EQ(r.err, "") << output;
        EXPECT_EQ(r.out, std::string(output) + " generated.\n");
        std::string header = file_text(root + "/" + output);
        EXPECT_NE(header.find("profiler_event_id_accent,"), std::string::npos) << output;
        EXPECT_NE(header.find("profiler_event_id_omega,"), std::string::npos) << output;
    }
    // Text that is not UTF-8 cannot name a file: refused, not guessed at.
    run_result_t r = launch(root, utf16("tagloomsmith.exe -o \xED\xA0\x80.h"));
    EXPECT_EQ(r.exit_code, 1);
}

// Links to directories (Wine's stand-ins for junctions) are not followed: a
// loop ends at once, with the header the Linux build writes.
TEST_F(Windows, DirectoryLinkLoopsAreNotFollowed) {
    std::string root = make_temp_dir("win_loop");
    mkdir((root + "/a").c_str(), 0700);
    write_file(root + "/a/x.c", "profiler_event_start(x)");
    symlink("..", (root + "/a/up").c_str());
    symlink(".", (root + "/a/self").c_str());
    symlink("a", (root + "/again").c_str());
    for (int i = 0; i < 20; ++i) // after the links in walk order
        write_file(root + "/z" + std::to_string(i) + ".c",
                   "profiler_event_start(z" + std::to_string(i) + ")");
    run_result_t r = run_tool(root, {"-r", "-o", "windows.h"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    run_options_t native;
    native.exe = TAGLOOMSMITH_NATIVE_EXE;
    setenv("TAGLOOMSMITH_RUNNER", "env", 1); // no Wine for the Linux program
    run_result_t linux_run = run_tool(root, {"-r", "-o", "linux.h"}, native);
    unsetenv("TAGLOOMSMITH_RUNNER");
    EXPECT_EQ(linux_run.exit_code, 0);
    EXPECT_EQ(file_text(root + "/windows.h"), file_text(root + "/linux.h"));
    EXPECT_NE(file_text(root + "/windows.h").find("profiler_event_id_z19,"), std::string::npos);
}

// Names as the walk lists them, however Windows would clean them up: a
// folder ending in a dot and a file ending in a space are read under
// exactly their names; "Z:" alone is drive Z's current directory (the
// working directory here), for the search and beside the output; and a
// console shows non-ASCII text as text (seen through a pseudo-terminal).
TEST_F(Windows, ExactNamesDrivesAndConsoleText) {
    std::string root = make_temp_dir("win_exact");
    mkdir((root + "/dd.").c_str(), 0700);
    write_file(root + "/dd./in.c", "profiler_event_start(in_dotted)");
    write_file(root + "/sp.c ", "profiler_event_start(spaced)");
    run_result_t r = run_tool(root, {"-r", "-e", "c ,c", "-o", "-"});
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("profiler_event_id_in_dotted,"), std::string::npos);
    EXPECT_NE(r.out.find("profiler_event_id_spaced,"), std::string::npos);
    r = run_tool(root, {"-d", "Z:", "-e", "c ,c", "-o", "Z:out.h"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(file_text(root + "/out.h").find("profiler_event_id_spaced,"), std::string::npos);
    EXPECT_EQ(file_text(root + "/.Z"), "<missing>");
    // In a dependency file a drive's colon stays (a drive alone is "Z:."),
    // and a backslash that make or Ninja would take for an escape is written
    // as a slash.
    r = run_tool(root, {"-d", ".\\", "-d", "Z:", "-o", "Z:out.h", "--depfile", "Z:out.d"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(file_text(root + "/out.d").find("\n./:\n\nZ:.:\n"), std::string::npos)
        << file_text(root + "/out.d");
    // A name that ends in a space would end a line that make cuts short.
    r = run_tool(root, {"-e", "c ,c", "-o", "Z:out.h", "--depfile", "Z:out.d"});
    EXPECT_EQ(r.err.substr(0, 66),
              "tagloomsmith: error: make and Ninja cannot read the name \".\\sp.c \"");
    EXPECT_EQ(temporary_files(root), strings_t{});
    const std::string shown = root + "/shown.txt";
    const std::string command = "cd '" + root +
                                "' && script -qec \"'" TAGLOOMSMITH_DEFAULT_RUNNER "' '" +
                                tool_path() + "' -o caf\xC3\xA9.h\" /dev/null > '" + shown + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_NE(file_text(shown).find("caf\xC3\xA9.h generated."), std::string::npos)
        << file_text(shown);
}

// Windows takes names without regard to case, and so do the extension and
// exception lists there: "Render.H" is a header, "Profiler.h" the
// profiler's own, "X64\\release\\" the build folder x64\\Release, however
// the folder is written (relative or absolute); a source folder of the same
// name elsewhere is searched.
TEST_F(Windows, NamesAndPathsWithoutRegardToCase) {
    std::string root = make_temp_dir("win_case");
    write_file(root + "/Render.H", "profiler_event_start(render)");
    write_file(root + "/Loop.Cpp", "profiler_event_start(loop)");
    write_file(root + "/B.C", "profiler_event_start(b)");
    write_file(root + "/Profiler.h", "profiler_event_start(profiler_own)");
    for (const char* folder : {"/x64", "/x64/Release", "/src", "/src/Release"})
        mkdir((root + folder).c_str(), 0700);
    write_file(root + "/x64/Release/gen.c", "profiler_event_start(generated)");
    write_file(root + "/src/Release/kept.c", "profiler_event_start(kept)");
    std::string absolute = windows_path(root) + "\\X64\\RELEASE";
    absolute[0] = 'z';
    for (const std::string& build : {std::string("X64\\release\\"), absolute}) {
        run_result_t r =
            run_tool(root, {"-r", "-e", ".c,h,CPP", "-x", "profiler.h," + build, "-o", "-"});
        EXPECT_EQ(r.exit_code, 0) << build;
        EXPECT_EQ(r.err, "") << build;
        for (const char* id : {"render,", "loop,", "b,", "kept,"})
            EXPECT_NE(r.out.find(std::string("profiler_event_id_") + id), std::string::npos)
                << build << " " << id;
        for (const char* id : {"profiler_own,", "generated,"})
            EXPECT_EQ(r.out.find(std::string("profiler_event_id_") + id), std::string::npos)
                << build << " " << id;
    }
}

// Past the classic 260-character limit, up to the tool's own limits.
TEST_F(Windows, LongPathsAreReadAndWritten) {
    std::string root = make_temp_dir("win_long_paths");
    std::string relative;
    while (relative.size() < 400) {
        relative += (relative.empty() ? "" : "/") + std::string(50, 'd');
        mkdir((root + "/" + relative).c_str(), 0700);
    }
    write_file(root + "/" + relative + "/deep.c", "profiler_event_start(deep)");
    std::string output = relative + "/" + std::string(40, 'o') + ".h";
    ASSERT_GT(output.size(), 440u);
    run_result_t r = run_tool(root, {"-r", "-o", output});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(file_text(root + "/" + output).find("profiler_event_id_deep,"), std::string::npos);
}

} // namespace
