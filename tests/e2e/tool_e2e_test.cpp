#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/run_tool.h"
#include "tests/test_support.h"
#include "tool/header.h"

namespace {

using strings_t = std::vector<std::string>;

// The header the tool must write for these ids, in this order (duplicates
// included, as found). The writer itself is checked byte for byte elsewhere.
std::string expected_header(const strings_t& timelines, const strings_t& events) {
    id_tables_t tables(ID_TABLE_CAPACITY_MAX);
    for (auto& id : timelines)
        tables.timeline(id);
    for (auto& id : events)
        tables.event(id);
    std::vector<uint8_t> bytes(64 << 20);
    data_t block = data_make(bytes.size(), 0, bytes.data());
    write_header(&block, &tables.timelines, &tables.events);
    return std::string((char*)bytes.data(), block.used);
}

// A small project: calls in several files and folders, and the library's
// own header, which holds every call name and must stay out of the scan.
std::string make_project() {
    std::string root = make_temp_dir("e2e");
    write_file(root + "/main.c", "#include \"profiler.h\"\n"
                                 "int main(void) {\n"
                                 "    profiler_initialize(main_timeline);\n"
                                 "    profiler_event_start(frame);\n"
                                 "    profiler_event_start( update );\n"
                                 "    profiler_event_start(frame);\n"
                                 "}\n");
    write_file(root + "/render.cpp", "void r() { profiler_timeline_set_id_for_index(render, 2); "
                                     "profiler_collapsable_start(draw); }\n");
    write_file(root + "/profiler.h", "void profiler_event_start(int id);\n"
                                     "void profiler_initialize(int timeline);\n");
    write_file(root + "/notes.txt",
               "profiler_event_start(not_scanned)\nprofiler_event_start(profiler_collapse)\n");
    make_dir(root + "/src");
    write_file(root + "/src/physics.c", "profiler_timeline_initialize(physics);\n"
                                        "profiler_event_start(step);\n");
    make_dir(root + "/lib");
    write_file(root + "/lib/audio.h", "profiler_timeline_id_declaration(audio)\n");
    return root;
}

const char USAGE[] =
    "\n"
    "tagloomsmith [-h] [-d directory] [-e extensions] [-x exceptions] [-o output]\n"
    "             [-r] [-s]\n"
    "\n"
    "Searches files for ids used in profiler calls and create a file with the\n"
    "corresponding enums and strings.\n"
    "\n"
    "-h\n"
    "    Display this help and stops.\n"
    "\n"
    "-d directory\n"
    "    Specifies a directory to search files in. This argument can be used several\n"
    "    times to specify several directories.\n"
    "    Defaults to the current working directory.\n"
    "\n"
    "-e extensions\n"
    "    Specifies a comma seperated list of file extensions to search for.\n"
    "    Defaults to \"c,cpp,h,hpp\".\n"
    "\n"
    "-x exceptions\n"
    "    Specifies a comma separated list of file names to exclude from the search.\n"
    "    Defaults to \"profiler.h\".\n"
    "    Only file names without path, must contain extensions.\n"
    "    When using this argument, \"profiler.h\" should be in the list if the search\n"
    "    directories contain the profiler header.\n"
    "\n"
    "-o output\n"
    "    Specifies the name of the generated file.\n"
    "    Defaults to \"profiler_ids.h\" in the current working directory.\n"
    "\n"
    "-r\n"
    "    Specifies that the search is recursive.\n"
    "\n"
    "-s\n"
    "    Doesn't print \"profiler_ids.h generated.\" to stdout.\n"
    "\n"
    "NOTE: The search is arbitrary limited to 1024 files, 2048 event ids and\n"
    "      2048 timeline ids.\n"
    "\n";

// Runs that must succeed: the whole header, standard output and no word on
// standard error.
TEST(Tool, SuccessfulRuns) {
    const strings_t top_timelines = {"main_timeline", "render"};
    const strings_t top_events = {"frame", "update", "frame", "draw"};
    struct {
        const char* name;
        strings_t args;
        const char* output;
        const char* printed;
        strings_t timelines, events;
        std::string err = "";
    } cases[] = {
        {"no arguments",
         {},
         "profiler_ids.h",
         "profiler_ids.h generated.\n",
         top_timelines,
         top_events},
        {"recursive",
         {"-r"},
         "profiler_ids.h",
         "profiler_ids.h generated.\n",
         {"audio", "main_timeline", "render", "physics"},
         {"frame", "update", "frame", "draw", "step"}},
        {"two directories in order",
         {"-d", "src", "-d", "lib"},
         "profiler_ids.h",
         "profiler_ids.h generated.\n",
         {"physics", "audio"},
         {"step"}},
        {"same directory twice",
         {"-d", "src", "-d", "src"},
         "profiler_ids.h",
         "profiler_ids.h generated.\n",
         {"physics", "physics"},
         {"step", "step"}},
        {"extensions",
         {"-e", "txt,cpp"},
         "profiler_ids.h",
         "profiler_ids.h generated.\n",
         {"render"},
         {"not_scanned", "profiler_collapse", "draw"}},
        {"extensions with their dot, a folder left out by its path",
         {"-r", "-e", ".h,.cpp", "-x", "profiler.h,./src/", "--strict"},
         "profiler_ids.h",
         "profiler_ids.h generated.\n",
         {"audio", "render"},
         {"draw"}},
        // A folder holding the marker is left out below the searched one,
        // never the searched one itself.
        {"a folder holding the marker",
         {"-r", "--skip-folders-with", "physics.c"},
         "profiler_ids.h",
         "profiler_ids.h generated.\n",
         {"audio", "main_timeline", "render"},
         top_events},
        {"the searched folder holding the marker",
         {"-r", "--skip-folders-with", "main.c"},
         "profiler_ids.h",
         "profiler_ids.h generated.\n",
         {"audio", "main_timeline", "render", "physics"},
         {"frame", "update", "frame", "draw", "step"}},
        {"exceptions replace the default",
         {"-x", "render.cpp"},
         "profiler_ids.h",
         "profiler_ids.h generated.\n",
         {"main_timeline", "int"},
         {"frame", "update", "frame", "int"}},
        {"silent", {"-s"}, "profiler_ids.h", "", top_timelines, top_events},
        {"output in a folder",
         {"-d", "src", "-o", "src/ids.h"},
         "src/ids.h",
         "src/ids.h generated.\n",
         {"physics"},
         {"step"}},
        // --list writes nothing: each id the header declares, in its order,
        // with the first place it is used.
        {"list in the header's order", {"--list", "-r"}, "", "", {}, {}},
        {"list of one table", {"--list", "-d", "lib"}, "", "", {}, {}},
        {"list of a fixed id used", {"--list", "-e", "txt"}, "", "", {}, {}},
    };
    const std::string listed[] = {
        "timeline  audio  " + place_at("./lib/audio.h", 1, 34) + "\ntimeline  main_timeline  " +
            place_at("./main.c", 3, 25) + "\ntimeline  render  " + place_at("./render.cpp", 1, 47) +
            "\ntimeline  physics  " + place_at("./src/physics.c", 1, 30) +
            "\nevent  profiler_collapse\nevent  profiler_not_measured\nevent  frame  " +
            place_at("./main.c", 4, 26) + "\nevent  update  " + place_at("./main.c", 5, 27) +
            "\nevent  draw  " + place_at("./render.cpp", 1, 86) + "\nevent  step  " +
            place_at("./src/physics.c", 2, 22) + "\n",
        "timeline  audio  " + place_at("lib/audio.h", 1, 34) + "\n",
        "event  profiler_collapse  " + place_at("./notes.txt", 2, 22) +
            "\nevent  profiler_not_measured\nevent  not_scanned  " +
            place_at("./notes.txt", 1, 22) + "\n",
    };
    int lists = 0;
    for (auto& c : cases) {
        std::string root = make_project();
        run_result_t r = run_tool(root, c.args);
        EXPECT_EQ(r.exit_code, 0) << c.name;
        const bool list = c.output[0] == 0;
        EXPECT_EQ(r.out, list ? listed[lists++] : c.printed) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(file_text(root + "/" + (list ? "profiler_ids.h" : c.output)),
                  list ? "<missing>" : expected_header(c.timelines, c.events))
            << c.name;
    }
}

TEST(Tool, HelpAnywherePrintsOnlyTheUsage) {
    for (strings_t args : {strings_t{"-h"}, strings_t{"-d", "src", "-h", "-o", "x.h"},
                           strings_t{"-o", "-h"}, strings_t{"--help", "-z"}, strings_t{"--help"}}) {
        std::string root = make_project();
        run_result_t r = run_tool(root, args);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(file_text(root + "/profiler_ids.h"), "<missing>");
        EXPECT_EQ(file_text(root + "/x.h"), "<missing>");
        if (args[0] != "--help") {
            EXPECT_EQ(r.out, USAGE);
            continue;
        }
        // --help is the whole help: every option on a line of its own, in
        // the usual layout, no line past 79 columns.
        EXPECT_EQ(r.out.rfind("Usage: tagloomsmith [options]\n", 0), 0u);
        for (const char* option :
             {"-d DIRECTORY ", "-e EXTENSIONS ", "-x NAMES ", "-o OUTPUT ", "-r ", "-s ",
              "--strict ", "--check ", "--list ", "--depfile FILE ", "--depfile-target T ",
              "--max-files N ", "--max-ids N ", "--diagnostics FORM ", "-h ", "--help ",
              "--version ", "--skip-folders-with NAME\n"})
            EXPECT_NE(r.out.find(std::string("\n  ") + option), std::string::npos) << option;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 79u) << line;
    }
}

TEST(Tool, EmptyArgumentsAfterDirectoryOptions) {
    if (tool_is_windows()) GTEST_SKIP() << "a Windows command line cannot carry an empty argument";
    std::string root = make_project();
    // An empty value is an error wherever it stands (a script's unset
    // variable): no default stands in for it and nothing is written.
    for (strings_t args : {strings_t{"-d", "", "-d", "lib"}, strings_t{"-d", "src", "-d", ""}}) {
        run_result_t r = run_tool(root, args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(file_text(root + "/profiler_ids.h"), "<missing>");
        EXPECT_EQ(r.err, "tagloomsmith: error: -d has an empty value\n");
    }
}

// The dependency file names the output as given, every file scanned and
// every folder searched, escaped as compilers escape them, each with an
// empty rule of its own; it is left untouched when its bytes do not change,
// and written for no run that writes no header.
TEST(Tool, DependencyFileListsFilesAndFolders) {
    if (tool_is_windows()) GTEST_SKIP() << "names with '#' and '$' are made on the POSIX side";
    std::string root = make_project();
    write_file(root + "/src/a b#$.c", "profiler_event_start(odd)");
    run_result_t r =
        run_tool(root, {"-d", "src", "-d", "lib", "-o", "ids.h", "--depfile", "ids.d"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const std::string files[] = {"src/a\\ b\\#$$.c", "src/physics.c", "lib/audio.h", "src", "lib"};
    std::string expected = "ids.h:";
    for (const std::string& f : files)
        expected += " \\\n  " + f;
    expected += "\n";
    for (const std::string& f : files)
        expected += "\n" + f + ":\n";
    EXPECT_EQ(file_text(root + "/ids.d"), expected);
    struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, (root + "/ids.d").c_str(), old_times, 0);
    EXPECT_EQ(
        run_tool(root, {"-d", "src", "-d", "lib", "-o", "ids.h", "--depfile", "ids.d"}).exit_code,
        0);
    struct stat info {};
    stat((root + "/ids.d").c_str(), &info);
    EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
    for (const strings_t& args :
         {strings_t{"--check", "--depfile", "c.d"}, strings_t{"-o", "-", "--depfile", "c.d"}}) {
        EXPECT_EQ(run_tool(root, args).exit_code, 1);
        EXPECT_EQ(file_text(root + "/c.d"), "<missing>");
    }

    // Make and Ninja read back every name as it is, a stamp as the target.
    write_file(root + "/src/back\\sl{c}!@~+,-\xc3\xa9\xc4\x80z.c", "");
    const strings_t stamped = {
        "-d", "src", "-d", "lib", "-o", "ids.h", "--depfile", "ids.d", "--depfile-target", "stamp"};
    ASSERT_EQ(run_tool(root, stamped).exit_code, 0);
    EXPECT_EQ(file_text(root + "/ids.d").substr(0, 9), "stamp: \\\n");
    write_file(root + "/Makefile", "stamp: ; $(file >make.txt,$^)\ninclude ids.d\n");
    write_file(root + "/build.ninja", "rule copy\n  command = touch stamp\n  depfile = ids.d\n"
                                      "  deps = gcc\nbuild stamp: copy\n");
    ASSERT_EQ(shell("cd '" + root +
                    "' && make -s stamp && ninja -d keepdepfile >/dev/null && "
                    "ninja -t deps stamp | tail -n +2 | sed 's/^ *//;/^$/d' | LC_ALL=C sort "
                    ">ninja.txt"),
              0);
    EXPECT_EQ(file_text(root + "/ninja.txt"),
              "lib\nlib/audio.h\nsrc\nsrc/a b#$.c\nsrc/back\\sl{c}!@~+,-\xc3\xa9\xc4\x80z.c\n"
              "src/physics.c\n");
    std::string by_make = file_text(root + "/make.txt");
    EXPECT_EQ(by_make, "src/a b#$.c src/back\\sl{c}!@~+,-\xc3\xa9\xc4\x80z.c src/physics.c "
                       "lib/audio.h src lib\n");

    // A name either would misread is an error naming it: nothing is written.
    const std::string header = file_text(root + "/ids.h");
    const std::string depfile = file_text(root + "/ids.d");
    for (const std::string name :
         {"co:lon.c", "per%cent.c", "eq=x.c", "se;mi.c", "quo'te.c", "st*r.c", "ta\tb.c", "cr\rx.c",
          "bs\\ sp.c", "bs\\#h.c", "br[a].c", "pa(1).c", "bs\\$d.c", "end\\", "end\\\\", "end "}) {
        const bool source = name.back() == 'c';
        const std::string path = root + "/lib/" + name;
        write_file(path, "profiler_event_start(more)");
        r = run_tool(root, source ? stamped
                                  : strings_t{"-d", "src", "-d", "lib", "-o", "ids.h", "-e", ",",
                                              "--depfile", "ids.d"});
        EXPECT_EQ(r.exit_code, 1) << name;
        EXPECT_EQ(r.err.substr(0, 62),
                  "tagloomsmith: error: make and Ninja cannot read the name \"lib/")
            << name;
        EXPECT_EQ(file_text(root + "/ids.h"), header) << name;
        EXPECT_EQ(file_text(root + "/ids.d"), depfile) << name;
        unlink(path.c_str());
    }
    // For Ninja alone, names only make misreads are fine; the others not.
    write_file(root + "/lib/pa(1)[2]%=.c", "");
    ASSERT_EQ(run_tool(root, {"-d", "lib", "-o", "ids.h", "--depfile", "ids.d", "--depfile-target",
                              "stamp", "--depfile-for", "ninja"})
                  .exit_code,
              0);
    ASSERT_EQ(shell("cd '" + root + "' && ninja >/dev/null && ninja -t deps stamp | grep -c " +
                    "'^    lib/pa(1)\\[2\\]%=.c$' >/dev/null"),
              0);
    r = run_tool(root, {"-d", "lib", "-o", "ids.h", "--depfile", "ids.d", "--depfile-for", "make"});
    EXPECT_EQ(r.err.substr(0, 61),
              "tagloomsmith: error: make cannot read the name \"lib/pa(1)[2]%");
    EXPECT_EQ(run_tool(root, {"-d", "lib", "-o", "ids.h", "--depfile", "ids.d", "--depfile-target",
                              "~stamp", "--depfile-for", "ninja"})
                  .exit_code,
              0);
    write_file(root + "/lib/quo'te.c", "");
    r = run_tool(root,
                 {"-d", "lib", "-o", "ids.h", "--depfile", "ids.d", "--depfile-for", "ninja"});
    EXPECT_EQ(r.exit_code, 1);
    unlink((root + "/lib/quo'te.c").c_str());
    unlink((root + "/lib/pa(1)[2]%=.c").c_str());
    // The output never depends on itself, though the search lists it, and
    // not first; its other name (a hard link, listed after it) is a file.
    write_file(root + "/a.c", "");
    ASSERT_EQ(link((root + "/ids.h").c_str(), (root + "/z.h").c_str()), 0);
    ASSERT_EQ(run_tool(root, {"-d", ".", "-o", "ids.h", "--depfile", "self.d"}).exit_code, 0);
    EXPECT_EQ(file_text(root + "/self.d").find("ids.h \\"), std::string::npos);
    EXPECT_NE(file_text(root + "/self.d").find("z.h \\"), std::string::npos);
    EXPECT_NE(file_text(root + "/self.d").find("\n.:\n"), std::string::npos);
    unlink((root + "/a.c").c_str());
    unlink((root + "/z.h").c_str());
    // For make alone, a stamp's file lists the output once, scanned or not,
    // so a deleted header reruns the tool; Ninja would see a cycle.
    struct {
        const char* dir;
        strings_t more;
        size_t rules;
    } listed[] = {
        {".", {"--depfile-target", "st", "--depfile-for", "make"}, 1},
        {"src", {"--depfile-target", "st", "--depfile-for", "make"}, 1},
        {".", {"--depfile-for", "make"}, 0},
        {".", {"--depfile-target", "st", "--depfile-for", "ninja"}, 0},
        {".", {"--depfile-target", "st"}, 0},
    };
    for (const auto& l : listed) {
        strings_t args = {"-d", l.dir, "-o", "ids.h", "--depfile", "self.d"};
        args.insert(args.end(), l.more.begin(), l.more.end());
        ASSERT_EQ(run_tool(root, args).exit_code, 0) << l.dir << l.more.size();
        const std::string text = file_text(root + "/self.d");
        size_t rules = 0; // "ids.h:" or "./ids.h:", the empty rules alone
        for (size_t at = text.find("ids.h:\n"); at != std::string::npos;
             at = text.find("ids.h:\n", at + 1))
            ++rules;
        EXPECT_EQ(rules, l.rules) << l.dir << l.more.size() << text;
    }
    // The target, the output's own name unless one is given, is escaped as
    // every other name is, or refused: the file stays as the row before
    // left it.
    const std::string spaced = "my\\ ids.h: \\\n";
    struct {
        strings_t target;
        std::string start, refused;
    } targets[] = {
        {{"-o", "my ids.h"}, spaced, ""},
        {{"-o", "ids.h", "--depfile-target", "a:b"}, spaced, "a:b"},
        {{"-o", "ids.h", "--depfile-target", "~stamp"}, spaced, "~stamp"},
    };
    for (const auto& t : targets) {
        strings_t args = {"-d", "src", "--depfile", "ids.d"};
        args.insert(args.end(), t.target.begin(), t.target.end());
        r = run_tool(root, args);
        EXPECT_EQ(r.err, t.refused.empty()
                             ? ""
                             : "tagloomsmith: error: make and Ninja cannot read the name \"" +
                                   t.refused +
                                   "\" back from a dependency file; \"ids.d\" was not written; "
                                   "no header written\n");
        EXPECT_EQ(file_text(root + "/ids.d").substr(0, t.start.size()), t.start) << t.refused;
    }
}

TEST(Tool, ExistingOutputIsReplaced) {
    std::string root = make_project();
    write_file(root + "/profiler_ids.h", std::string(100000, 'x'));
    run_result_t r = run_tool(root, {"-d", "lib"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), expected_header({"audio"}, {}));
    EXPECT_EQ(temporary_files(root), strings_t{});
}

TEST(Tool, MissingDirectoryWarnsAndStillWrites) {
    std::string root = make_project();
    run_result_t r = run_tool(root, {"-d", "nowhere", "-d", "lib"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "profiler_ids.h generated.\n");
    EXPECT_EQ(r.err, "tagloomsmith: warning: cannot search directory \"nowhere\": " +
                         os_reason("No such file or directory", "Path not found") + "\n");
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), expected_header({"audio"}, {}));
}

TEST(Tool, FileLimitWarnsOnce) {
    std::string root = make_temp_dir("many_files");
    for (int i = 0; i < 1030; ++i)
        write_file(root + "/f" + std::to_string(10000 + i) + ".c",
                   "profiler_event_start(e" + std::to_string(10000 + i) + ")");
    struct {
        strings_t args;
        int scanned;
        std::string err;
    } cases[] = {
        {{},
         1024,
         "tagloomsmith: warning: the limit of 1024 files was reached; raise it with "
         "--max-files\n"},
        {{"--max-files", "1029"},
         1029,
         "tagloomsmith: warning: the limit of 1029 files was reached; raise it with "
         "--max-files\n"},
        {{"--max-files", "1031"}, 1030, ""}, // and the header written before
    };
    for (auto& c : cases) {
        run_result_t r = run_tool(root, c.args);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, c.err);
        strings_t events;
        for (int i = 0; i < c.scanned; ++i)
            events.push_back("e" + std::to_string(10000 + i));
        EXPECT_EQ(file_text(root + "/profiler_ids.h"), expected_header({}, events)) << c.scanned;
    }
}

TEST(Tool, IdLimitWarnsOncePerTable) {
    std::string root = make_temp_dir("many_ids");
    std::string text;
    strings_t events, timelines;
    for (int i = 0; i < 2050; ++i) {
        text += "profiler_event_start(e" + std::to_string(i) + ")\n";
        if (i < 2048) events.push_back("e" + std::to_string(i));
    }
    for (int i = 0; i < 5; ++i) {
        text += "profiler_initialize(t" + std::to_string(i) + ")\n";
        timelines.push_back("t" + std::to_string(i));
    }
    write_file(root + "/ids.c", text);
    run_result_t r = run_tool(root, {});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "tagloomsmith: warning: the limit of 2048 event ids was reached; raise it "
                     "with --max-ids\n");
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), expected_header(timelines, events));
    // Raised, the limit holds every id, up to the most: ids long enough that
    // a table of them and its header pass the default working memory.
    struct {
        int ids, limit;
        std::string err;
        size_t length = 40;
    } cases[] = {
        {2050, 2050, ""},
        {9000, 9000, "", 2000}, // ids longer than the default run's share of memory
        {3, 2,
         "tagloomsmith: warning: the limit of 2 timeline ids was reached; raise it with "
         "--max-ids\n"},
        {65535, 65535, ""},
    };
    for (auto& c : cases) {
        std::string many;
        timelines.clear();
        for (int i = 0; i < c.ids; ++i) {
            timelines.push_back(std::string(c.length, 't') + std::to_string(i));
            many += "profiler_initialize(" + timelines.back() + ")\n";
        }
        write_file(root + "/ids.c", many);
        timelines.resize(c.limit);
        r = run_tool(root, {"--max-ids", std::to_string(c.limit)});
        EXPECT_EQ(r.exit_code, 0) << c.ids;
        EXPECT_EQ(r.err, c.err) << c.ids;
        EXPECT_EQ(file_text(root + "/profiler_ids.h"), expected_header(timelines, {})) << c.ids;
    }
}

TEST(Tool, UnreadableFilesWarnWithACount) {
    if (tool_is_windows()) GTEST_SKIP() << "FIFOs and dangling links are POSIX cases";
    std::string root = make_project();
    mkfifo((root + "/lib/pipe.c").c_str(), 0600);
    symlink("gone.c", (root + "/lib/dangling.h").c_str());
    run_result_t r = run_tool(root, {"-d", "lib"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "tagloomsmith: warning: cannot read \"lib/dangling.h\": No such file or "
                     "directory (and 1 more file)\n");
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), expected_header({"audio"}, {}));
}

// Errors: exit 1, one line on standard error, no final line, and the
// previous header left exactly as it was.
TEST(Tool, ErrorsLeaveThePreviousHeader) {
    struct {
        const char* name;
        strings_t args;
        std::string error;
        std::string output;
    } cases[] = {
        {"output in a missing folder",
         {"-o", "missing/ids.h"},
         "tagloomsmith: error: cannot write the temporary file for \"missing/ids.h\": " +
             os_reason("No such file or directory", "Path not found") + "\n",
         "missing/ids.h"},
        {"output is a directory",
         {"-o", "src"},
         "tagloomsmith: error: cannot write \"src\": " +
             os_reason("Is a directory", "Access denied") + "\n",
         "src/physics.c"},
        {"output path of 511 bytes",
         {"-o", std::string(511, 'o')},
         "tagloomsmith: error: output path longer than 510 bytes: \"" + std::string(511, 'o') +
             "\"\n",
         "profiler_ids.h"},
    };
    for (auto& c : cases) {
        std::string root = make_project();
        write_file(root + "/profiler_ids.h", PREVIOUS_HEADER);
        std::string before = file_text(root + "/" + c.output);
        run_result_t r = run_tool(root, c.args);
        EXPECT_EQ(r.exit_code, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err, c.error) << c.name;
        EXPECT_EQ(file_text(root + "/" + c.output), before) << c.name;
        EXPECT_EQ(file_text(root + "/profiler_ids.h"), PREVIOUS_HEADER) << c.name;
    }
}

TEST(Tool, OutputPathOf510BytesPrintsTheWholeLine) {
    std::string root = make_project();
    // 510 bytes: two folders of 200 and a name of 108.
    std::string folder = std::string(200, 'f') + "/" + std::string(200, 'g');
    std::string name = std::string(106, 'n') + ".h";
    make_dir(root + "/" + std::string(200, 'f'));
    make_dir(root + "/" + folder);
    std::string path = folder + "/" + name;
    ASSERT_EQ(path.size(), 510u);
    run_result_t r = run_tool(root, {"-d", "lib", "-o", path});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, path + " generated.\n");
    EXPECT_EQ(file_text(root + "/" + path), expected_header({"audio"}, {}));
}

TEST(Tool, MoreThan128ArgumentsIsAnError) {
    std::string root = make_project();
    strings_t args(127, "-s");
    run_result_t ok = run_tool(root, args); // 128 with the program's name
    EXPECT_EQ(ok.exit_code, 0);
    args.push_back("-s");
    run_result_t r = run_tool(root, args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "tagloomsmith: error: too many arguments: at most 128, the program's own "
                     "name included\n");
}

TEST(Tool, IdsTooLargeForTheArenaAreAnError) {
    std::string root = make_project();
    write_file(root + "/profiler_ids.h", PREVIOUS_HEADER);
    write_file(root + "/huge.c", "profiler_event_start(" + std::string(11 << 20, 'i') + ")");
    run_result_t r = run_tool(root, {});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tagloomsmith: error: out of working memory for the ids found; no header "
                     "written\n");
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), PREVIOUS_HEADER);
}

TEST(Tool, HeaderLargerThanTheArenaIsWrittenAndListed) {
    std::string root = make_project();
    write_file(root + "/profiler_ids.h", PREVIOUS_HEADER);
    // 1200 ids of 4 KiB fit in the arena once, but not again as header
    // text, nor as a list: both take a block of their own.
    std::string text;
    strings_t events;
    for (int i = 0; i < 1200; ++i) {
        events.push_back(std::string(4096, 'a') + std::to_string(i));
        text += "profiler_event_start(" + events.back() + ")\n";
    }
    write_file(root + "/big.c", text);
    run_result_t r = run_tool(root, {"--list"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2 + 2 + 1200 + 3);
    EXPECT_NE(r.out.find("\nevent  " + events[1199] + "  " + place_at("./big.c", 1200, 22) + "\n"),
              std::string::npos);
    r = run_tool(root, {"-s"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    events.insert(events.end(), {"frame", "update", "frame", "draw"});
    EXPECT_TRUE(file_text(root + "/profiler_ids.h") ==
                expected_header({"main_timeline", "render"}, events));
}

TEST(Tool, ClosedStandardOutputStillWritesTheHeader) {
    std::string root = make_project();
    run_options_t options;
    options.close_stdout = true;
    run_result_t r = run_tool(root, {"-d", "lib"}, options);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), expected_header({"audio"}, {}));
    // Where the text is what was asked for, its failed write fails the run.
    for (const char* asked : {"-h", "--help", "--version", "--list"}) {
        r = run_tool(root, {asked}, options);
        EXPECT_EQ(r.exit_code, 1) << asked;
        EXPECT_EQ(r.err, std::string("tagloomsmith: error: cannot write ") +
                             (asked[2] == 'l' ? "the list of ids " : "") + "to standard output\n")
            << asked;
    }
}

TEST(Tool, WriteCutShortKeepsThePreviousHeader) {
    if (tool_is_windows()) GTEST_SKIP() << "file-size limits are a POSIX case";
    std::string root = make_project();
    write_file(root + "/profiler_ids.h", PREVIOUS_HEADER);
    run_options_t options;
    options.file_size_limit = 512;
    run_result_t r = run_tool(root, {}, options);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tagloomsmith: error: cannot write the temporary file for "
                     "\"profiler_ids.h\": File too large\n");
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), PREVIOUS_HEADER);
    EXPECT_EQ(temporary_files(root), strings_t{});
}

} // namespace
