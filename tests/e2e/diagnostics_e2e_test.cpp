#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/run_tool.h"
#include "tests/test_support.h"

// Every warning and error with its exact text and exit code: what the tool
// did not use is said, reasons are the OS's, and a header that could not be
// complete or could not compile is not written.

namespace {

using strings_t = std::vector<std::string>;

const std::string WARNING = "tagloomsmith: warning: ";
const std::string ERROR = "tagloomsmith: error: ";

TEST(Diagnostics, Table) {
    const bool windows = tool_is_windows();
    const std::string here = windows ? ".\\" : "./";
    struct case_t {
        const char* name;
        strings_t args;
        std::function<void(const std::string&)> setup;
        int exit_code;
        std::string err;
        bool written; // a header from this run, or the previous one kept
        bool posix_only = false;
    };
    auto file = [](const char* name, std::string text) {
        return [=](const std::string& root) { write_file(root + "/" + name, text); };
    };
    std::string many_items, first_63; // 64 items, then x65 and x66; 63 items
    for (int i = 1; i <= 64; ++i) {
        if (i == 64) first_63 = many_items;
        many_items += "x" + std::to_string(i) + ",";
    }
    many_items += "x65,x66";
    // A source the run must not scan: its id clashes with a name the header
    // declares.
    auto clashing = file("clash.c", "profiler_event_start(count)");
    auto folders = [](int n) {
        return [=](const std::string& root) {
            for (int i = 1; i <= n; ++i)
                make_dir(root + "/d" + std::to_string(i));
        };
    };
    std::vector<case_t> cases = {
        // An argument no option takes fails the run: nothing is written. A
        // word near one option, or an option run into its value, is named.
        {"unknown option", {"-z"}, nullptr, 1, ERROR + "unknown argument \"-z\"\n", false},
        {"unknown long option",
         {"--verbose", "-s"},
         nullptr,
         1,
         ERROR + "unknown argument \"--verbose\"\n",
         false},
        {"directory without -d", {"src"}, nullptr, 1, ERROR + "unknown argument \"src\"\n", false},
        {"switches run together, a typo before a split",
         {"-rs", "-dsrc", "-d=src", "--depfile-targt", "--max-ids5"},
         nullptr,
         1,
         ERROR + "unknown argument \"-rs\"\n" + ERROR +
             "unknown argument \"-dsrc\"; did you mean -d src?\n" + ERROR +
             "unknown argument \"-d=src\"; did you mean -d src?\n" + ERROR +
             "unknown argument \"--depfile-targt\"; did you mean --depfile-target?\n" + ERROR +
             "unknown argument \"--max-ids5\"; did you mean --max-ids 5?\n",
         false},
        {"near an option",
         {"--chek", "-v", "help", "--lsit", "--max-files=10", "--depfile-targetX", "-o"},
         nullptr,
         1,
         ERROR + "unknown argument \"--chek\"; did you mean --check?\n" + ERROR +
             "unknown argument \"-v\"; did you mean --version?\n" + ERROR +
             "unknown argument \"help\"; did you mean --help?\n" + ERROR +
             "unknown argument \"--lsit\"; did you mean --list?\n" + ERROR +
             "unknown argument \"--max-files=10\"; did you mean --max-files 10?\n" + ERROR +
             "unknown argument \"--depfile-targetX\"; did you mean --depfile-target X?\n" +
             ERROR + "-o has no value\n",
         false},
        {"near no option or several",
         {"--strictly", "--mx-ids", "-q", "-", "--", "--lsts", "--max"},
         nullptr,
         1,
         ERROR + "unknown argument \"--strictly\"; did you mean --strict?\n" + ERROR +
             "unknown argument \"--mx-ids\"; did you mean --max-ids?\n" + ERROR +
             "unknown argument \"-q\"\n" + ERROR + "unknown argument \"-\"\n" + ERROR +
             "unknown argument \"--\"\n" + ERROR + "unknown argument \"--lsts\"\n" + ERROR +
             "unknown argument \"--max\"\n",
         false},
        {"value of an option is not unknown; an option's name as a value warned, none last an error",
         {"-e", "-z", "-x", "-x", "-s", "--check", "-d", "-r", "-o", "-e", "--depfile", "-o", "-d",
          "-x1", "--depfile-target"},
         nullptr,
         2,
         WARNING + "-x takes \"-x\" as its value\n" + WARNING +
             "-d takes \"-r\" as its value: give the folder as " + here + "-r if you mean it\n" +
             WARNING + "-o takes \"-e\" as its value: give the file as " + here +
             "-e if you mean it\n" + WARNING +
             "--depfile takes \"-o\" as its value: give the file as " + here +
             "-o if you mean it\n" + ERROR + "--depfile-target has no value\n",
         false},
        {"-o last", {"-o"}, nullptr, 1, ERROR + "-o has no value\n", false},
        {"-d alone", {"-d"}, nullptr, 1, ERROR + "-d has no value\n", false},
        {"second -d last", {"-d", "src", "-d"}, nullptr, 1, ERROR + "-d has no value\n", false},
        {"-o as -e's value is the -o read; a later -o is given twice",
         {"-e", "-o", "-o", "a.h"},
         nullptr,
         1,
         ERROR + "-o is given more than once; it takes one value, not also \"a.h\"\n" + WARNING +
             "-e takes \"-o\" as its value\n",
         false},
        {"-e takes -r, and -r still recurses",
         {"-e", "-r"},
         nullptr,
         0,
         WARNING + "-e takes \"-r\" as its value\n" + WARNING +
             "no file was found with the extensions \"-r\"\n",
         true},
        {"second -x last",
         {"-x", "none", "-x"},
         nullptr,
         1,
         ERROR + "-x is given more than once; it takes one value\n",
         false},
        {"options given twice",
         {"-o", "a.h", "--max-ids", "5", "-o", "b.h", "--max-ids", "6", "-d", "."},
         nullptr,
         1,
         ERROR + "-o is given more than once; it takes one value, not also \"b.h\"\n" + ERROR +
             "--max-ids is given more than once; it takes one value, not also \"6\"\n",
         false},
        {"missing directory",
         {"-d", "scr"},
         nullptr,
         0,
         WARNING + "cannot search directory \"scr\": " +
             os_reason("No such file or directory", "Path not found") + "\n",
         true},
        {"id longer than a length can say",
         {},
         file("long.c", "profiler_event_start(" + std::string(65536, 'q') + ")"),
         1,
         place_at("./long.c", 1, 22) +
             ": error: an id of 65536 bytes is longer than the 65535 "
             "a header can hold: \"" +
             std::string(40, 'q') + "...\"; no header written\n",
         false},
        // The place: the id's line and column, counted over lines of any
        // ending, over the pieces a large file is read in, among the ids of
        // the one table; in the form asked for, its column as its tools
        // count: gcc's a tab to the next 8 and a wide character 2, the
        // Microsoft one's a UTF-16 unit each (a tab, "\u00e9" and "\u6f22" 1,
        // an emoji 2), in a line cut in pieces that are not UTF-8.
        {"place of the second id of its table in a file",
         {},
         file("place.c", "profiler_event_start(count)\r\n\n\t/*\xc3\xa9\xe6\xbc\xa2"
                         "\xf0\x9f\x98\x80\xe6\xbc*/profiler_initialize(a) "
                         "profiler_initialize(count)\n"),
         1,
         place_at("./place.c", 3, 63, false, 55) +
             ": error: the id \"count\" would declare profiler_timeline_id_count twice; no "
             "header written\n",
         false},
        {"place past the first piece read",
         {"--diagnostics", windows ? "gcc" : "msvc"},
         file("place.c", std::string(700000, 'x') + "\n" + std::string(700000, 'y') +
                             "\n\t profiler_event_start(t)"),
         1,
         place_at("./place.c", 3, 31, true, 24) +
             ": error: the id \"t\" would declare profiler_event_id_t twice; no header written\n",
         false},
        {"place of a call across the pieces read",
         {},
         file("place.c", std::string(1048565, 'x') + "\nprofiler_event_start(t)"),
         1,
         place_at("./place.c", 2, 22) +
             ": error: the id \"t\" would declare profiler_event_id_t twice; no header written\n",
         false},
        {"place of an id that starts a piece before it ends, two before",
         {},
         file("place.c", std::string(1048000, 'x') + "\n" + std::string(518, ' ') +
                             "profiler_event_start(" + std::string(1100000, 'q') + ")"),
         1,
         place_at("./place.c", 2, 540) + ": error: an id of 1100000 bytes is longer than the " +
             "65535 a header can hold: \"" + std::string(40, 'q') + "...\"; no header written\n",
         false},
        {"places in the system's form by name",
         {"--diagnostics", windows ? "msvc" : "gcc"},
         file("place.c", "profiler_event_start(t)"),
         1,
         place_at("./place.c", 1, 22) +
             ": error: the id \"t\" would declare profiler_event_id_t twice; no header written\n",
         false},
        {"unknown form of places",
         {"--diagnostics", "clang"},
         nullptr,
         1,
         ERROR + "--diagnostics takes gcc or msvc, not \"clang\"\n",
         false},
        {"no file limit",
         {"--max-files", "0"},
         nullptr,
         1,
         ERROR + "--max-files takes a number from 1 to 1048576, not \"0\"\n",
         false},
        {"file limit beyond the most",
         {"--max-files", "1048577"},
         nullptr,
         1,
         ERROR + "--max-files takes a number from 1 to 1048576, not \"1048577\"\n",
         false},
        {"file limit with a separator",
         {"--max-files", "1,000"},
         nullptr,
         1,
         ERROR + "--max-files takes a number from 1 to 1048576, not \"1,000\"\n",
         false},
        {"file limit not a number",
         {"--max-files", "1O"},
         nullptr,
         1,
         ERROR + "--max-files takes a number from 1 to 1048576, not \"1O\"\n",
         false},
        {"id limit beyond the most",
         {"--max-ids", "65536"},
         nullptr,
         1,
         ERROR + "--max-ids takes a number from 1 to 65535, not \"65536\"\n",
         false},
        {"file limit at the most",
         {"--max-files", "1048576", "--max-ids", "65535"},
         nullptr,
         0,
         "",
         true},
        {"file limit raised, id limit lowered: no less memory than the defaults give",
         {"--max-files", "1025", "--max-ids", "50"},
         [](const std::string& root) {
             std::string text, q(60000, 'q');
             for (int i = 0; i < 45; ++i)
                 text += "profiler_event_start(" + q + std::to_string(i) + ")";
             write_file(root + "/long.c", text);
         },
         0,
         "",
         true},
        {"id of 65535 bytes",
         {},
         file("long.c", "profiler_event_start(" + std::string(65535, 'q') + ")"),
         0,
         "",
         true},
        {"backslash is a name byte",
         {"-d", "we\\ird", "-o", "x\\y.h"},
         [](const std::string& root) {
             mkdir((root + "/we\\ird").c_str(), 0700);
             write_file(root + "/we\\ird/back\\slash.c", "profiler_event_start(odd)");
         },
         0,
         "",
         true,
         true},
        {"empty items do not count",
         {"-e", "c," + std::string(130, ',') + "h"},
         nullptr,
         0,
         "",
         true},
        {"more than 64 exceptions",
         {"-x", many_items},
         nullptr,
         0,
         WARNING + "-x holds more than 64 items; \"x65\" and the items after it are ignored\n",
         true},
        {"64 exceptions, the last one kept", {"-x", first_63 + "clash.c"}, clashing, 0, "", true},
        {"65 exceptions",
         {"-x", first_63 + "x64,clash.c"},
         clashing,
         1,
         WARNING + "-x holds more than 64 items; \"clash.c\" and the items after it are ignored\n" +
             place_at("./clash.c", 1, 22) +
             ": error: the id \"count\" would declare profiler_event_id_count twice; no header "
             "written\n",
         false},
        {"empty output path", {"-o", ""}, nullptr, 1, ERROR + "-o has an empty value\n", false},
        {"check of an empty output path",
         {"--check", "-o", "", "--max-files", ""},
         nullptr,
         2,
         ERROR + "-o has an empty value\n" + ERROR + "--max-files has an empty value\n",
         false},
        {"limits of one, said in the singular",
         {"--max-files", "1", "--max-ids", "1"},
         file("a.c", "profiler_initialize(a) profiler_initialize(b)"),
         0,
         WARNING + "the limit of 1 file was reached; raise it with --max-files\n" + WARNING +
             "the limit of 1 timeline id was reached; raise it with --max-ids\n",
         true},
        {"control bytes quoted",
         {"-d", "a\nb\xff\x1b"},
         nullptr,
         0,
         WARNING + "cannot search directory \"a\\nb\\xff\\x1b\": No such file or directory\n",
         true,
         true},
        {"control bytes at both ends and DEL quoted",
         {"-d", "\x01\x1f \x7f"},
         nullptr,
         0,
         WARNING + "cannot search directory \"\\x01\\x1f \\x7f\": No such file or directory\n",
         true,
         true},
        {"strict makes a warning an error",
         {"--strict", "-d", ".", "-d", "scr"},
         nullptr,
         1,
         ERROR + "cannot search directory \"scr\": " +
             os_reason("No such file or directory", "Path not found") + "\n",
         false},
        {"strict: extensions that match no file",
         {"--strict", "-e", "cc,.hh"},
         nullptr,
         1,
         ERROR + "no file was found with the extensions \"cc,.hh\"\n",
         false},
        {"strict makes an unused argument an error",
         {"-z", "--strict"},
         nullptr,
         1,
         ERROR + "unknown argument \"-z\"\n",
         false},
        // --check: 1 out of date, with the ids added and removed; 2 when it
        // cannot tell.
        {"check of an output out of date",
         {"--check"},
         nullptr,
         1,
         ERROR + "\"profiler_ids.h\" is out of date: 1 id added (event frame)\n",
         false},
        {"check of ids added and removed",
         {"--check"},
         [](const std::string& root) {
             run_tool(root, {});
             write_file(root + "/main.c", "profiler_initialize(b)");
         },
         1,
         ERROR + "\"profiler_ids.h\" is out of date: 1 id added (timeline b), 1 id removed "
                 "(event frame)\n",
         false},
        {"check of an id that changed its table",
         {"--check"},
         [](const std::string& root) {
             write_file(root + "/main.c", "profiler_initialize(a)");
             run_tool(root, {});
             write_file(root + "/main.c", "profiler_event_start(a)");
         },
         1,
         ERROR + "\"profiler_ids.h\" is out of date: 1 id added (event a), 1 id removed "
                 "(timeline a)\n",
         false},
        {"check of many ids added",
         {"--check"},
         file("main.c",
              "profiler_event_start(a1) profiler_event_start(a2) profiler_event_start(a3) "
              "profiler_event_start(a4) profiler_event_start(a5) "
              "profiler_event_start(a6) profiler_event_start(a7)"),
         1,
         ERROR + "\"profiler_ids.h\" is out of date: 7 ids added (event a1, event a2, event a3, "
                 "event a4, event a5, and 2 more)\n",
         false},
        {"check of the same ids in another order",
         {"--check"},
         [](const std::string& root) {
             write_file(root + "/main.c", "profiler_event_start(a) profiler_event_start(b)");
             run_tool(root, {});
             write_file(root + "/main.c", "profiler_event_start(b) profiler_event_start(a)");
         },
         1,
         ERROR + "\"profiler_ids.h\" is out of date: the same ids in another order\n",
         false},
        {"check of the same ids and other text",
         {"--check"},
         [](const std::string& root) {
             run_tool(root, {});
             write_file(root + "/profiler_ids.h", file_text(root + "/profiler_ids.h") + "x");
         },
         1,
         ERROR + "\"profiler_ids.h\" is out of date: the same ids, other text\n",
         false},
        {"check of a header with CRLF line ends",
         {"--check"},
         [](const std::string& root) {
             run_tool(root, {});
             std::string crlf;
             for (char c : file_text(root + "/profiler_ids.h"))
                 crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
             write_file(root + "/profiler_ids.h", crlf);
             write_file(root + "/main.c", "profiler_event_start(frame) profiler_event_start(x)");
         },
         1,
         ERROR + "\"profiler_ids.h\" is out of date: 1 id added (event x)\n",
         false},
        {"check that cannot tell: a folder missing",
         {"--check", "-d", ".", "-d", "scr"},
         nullptr,
         2,
         WARNING + "cannot search directory \"scr\": " +
             os_reason("No such file or directory", "Path not found") + "\n" + ERROR +
             "cannot tell whether \"profiler_ids.h\" is up to date: not every folder and file "
             "could be read\n",
         false},
        {"check that cannot tell: a bad argument",
         {"--check", "-z"},
         nullptr,
         2,
         ERROR + "unknown argument \"-z\"\n",
         false},
        {"check that cannot tell: a bad value",
         {"--max-ids", "x", "--check"},
         nullptr,
         2,
         ERROR + "--max-ids takes a number from 1 to 65535, not \"x\"\n",
         false},
        {"check of a missing output",
         {"--check", "-o", "none.h"},
         nullptr,
         1,
         ERROR + "\"none.h\" is out of date: " +
             os_reason("No such file or directory", "File not found") + "\n",
         false},
        {"check of an output that cannot be read",
         {"--check", "-o", "zz"},
         [](const std::string& root) { make_dir(root + "/zz"); },
         2,
         ERROR + "cannot tell whether \"zz\" is up to date: " +
             os_reason("not a regular file", "Access denied") + "\n",
         false},
        {"check of an output no run may replace",
         {"--check", "-o", "./main.c"},
         nullptr,
         2,
         ERROR + "the output \"./main.c\" is one of the files searched and not a header of ours; "
                 "no header written\n",
         false},
        {"check with list",
         {"--check", "--list"},
         nullptr,
         2,
         ERROR + "--check and --list do not go together\n",
         false},
        {"check of standard output",
         {"--check", "-o", "-"},
         nullptr,
         2,
         ERROR + "--check compares with an output file; -o - has none\n",
         false},
        {"check of an output up to date",
         {"--check", "-s"},
         [](const std::string& root) { run_tool(root, {}); },
         0,
         "",
         false},
        {"check of an output with a CR that is no line ending",
         {"--check"},
         [](const std::string& root) {
             run_tool(root, {});
             write_file(root + "/profiler_ids.h", file_text(root + "/profiler_ids.h") + "\r");
         },
         1,
         ERROR + "\"profiler_ids.h\" is out of date: the same ids, other text\n",
         false},
        {"output of ours with CRLF line endings",
         {},
         file("profiler_ids.h", with_crlf(PREVIOUS_HEADER)),
         0,
         "",
         true},
        {"output cut short in the opening every header has",
         {},
         file("profiler_ids.h", PREVIOUS_HEADER.substr(0, 20)),
         1,
         ERROR + "the output \"profiler_ids.h\" is one of the files searched and not a header of "
                 "ours; no header written\n",
         false},
        {"output with a CR that is no line ending in the opening",
         {},
         file("profiler_ids.h", PREVIOUS_HEADER.substr(0, 8) + "\r" + PREVIOUS_HEADER.substr(8)),
         1,
         ERROR + "the output \"profiler_ids.h\" is one of the files searched and not a header of "
                 "ours; no header written\n",
         false},
        {"output holding the header and more",
         {},
         [](const std::string& root) {
             run_tool(root, {});
             write_file(root + "/profiler_ids.h", file_text(root + "/profiler_ids.h") + "x");
         },
         0,
         "",
         true},
        {"output holding the header and one byte, the header whole pieces of the compare",
         {},
         [](const std::string& root) {
             // The compare reads 16 KiB pieces, so the byte after a header of
             // two pieces is in none it compares. Each byte of an id adds two
             // to the header (its enumerator and its string); an id of 9 or
             // 10 bytes (one digit more in the lengths) sets the parity.
             auto length = [&](size_t pad, size_t parity) {
                 write_file(root + "/pad.c", "profiler_event_start(" + std::string(pad, 'p') +
                                                 ") profiler_event_start(" +
                                                 std::string(parity, 'q') + ")");
                 return run_tool(root, {"-o", "-"}).out.size();
             };
             const size_t parity = length(10000, 9) % 2 == 0 ? 9 : 10;
             length(10000 + (32768 - length(10000, parity)) / 2, parity);
             run_tool(root, {"-s"});
             const std::string header = file_text(root + "/profiler_ids.h");
             EXPECT_EQ(header.size(), 32768u);
             write_file(root + "/profiler_ids.h", header + "x");
         },
         0,
         "",
         true},
        {"empty output among the files scanned", {}, file("profiler_ids.h", ""), 0, "", true},
        {"output that is a source scanned",
         {"-o", "./main.c"},
         nullptr,
         1,
         ERROR + "the output \"./main.c\" is one of the files searched and not a header of ours; "
                 "no header written\n",
         false},
        {"output linked to a source scanned",
         {"-o", "alias.h"},
         [](const std::string& root) { symlink("main.c", (root + "/alias.h").c_str()); },
         1,
         ERROR + "the output \"alias.h\" is one of the files searched and not a header of ours; "
                 "no header written\n",
         false,
         true},
        // The dependency file is checked before anything is written, and
        // written before the header: a failed one leaves the header as it was.
        {"dependency file that is the output",
         {"--depfile", "./profiler_ids.h"},
         nullptr,
         1,
         ERROR + "the dependency file \"./profiler_ids.h\" is the output; nothing written\n",
         false},
        {"dependency file that is the output yet to be made",
         {"-o", "new.h", "--depfile", "./new.h"},
         nullptr,
         1,
         ERROR + "the dependency file \"./new.h\" is the output; nothing written\n",
         false},
        {"dependency file the search would list",
         {"--depfile", "deps.h"},
         nullptr,
         1,
         ERROR + "the dependency file \"deps.h\" is one of the files searched; nothing written\n",
         false},
        {"dependency file that is another file",
         {"--depfile", "notes.d"},
         file("notes.d", "notes: keep\n"),
         1,
         ERROR + "the dependency file \"notes.d\" is not a dependency file this tool wrote; "
                 "nothing written\n",
         false},
        {"empty dependency file", {"--depfile", "empty.d"}, file("empty.d", ""), 0, "", true},
        // The folder searched counts too.
        {"4,096 folders for a dependency file",
         {"-r", "--depfile", "f.d"},
         folders(4095),
         0,
         "",
         true},
        {"4,097 folders for a dependency file",
         {"-r", "--depfile", "f.d"},
         folders(4096),
         1,
         ERROR + "more than 4096 folders were searched, more than the dependency file can list; "
                 "no header written\n",
         false},
        {"dependency file in a missing folder",
         {"--depfile", "nowhere/x.d"},
         nullptr,
         1,
         ERROR + "cannot write the temporary file for \"nowhere/x.d\": " +
             os_reason("No such file or directory", "Path not found") + "\n",
         false,
         true},
        // An output the search lists is a source, read or not: here the
        // 1,025th file, beyond the limit, in a subfolder of a recursive search.
        {"output the search lists beyond the file limit",
         {"-r", "-o", "zz/out.c"},
         [](const std::string& root) {
             for (int i = 0; i < 1030; ++i)
                 write_file(root + "/f" + std::to_string(1000 + i) + ".c", "");
             make_dir(root + "/zz");
             write_file(root + "/zz/out.c", "profiler_event_start(kept)");
         },
         1,
         WARNING + "the limit of 1024 files was reached; raise it with --max-files\n" + ERROR +
             "the output \"zz/out.c\" is one of the files searched and not a header of "
             "ours; no header written\n",
         false},
        {"output linked to a source scanned from a folder not searched",
         {"-o", "zz/alias.h"},
         [](const std::string& root) {
             make_dir(root + "/zz");
             symlink("../main.c", (root + "/zz/alias.h").c_str());
         },
         1,
         ERROR + "the output \"zz/alias.h\" is one of the files searched and not a header of "
                 "ours; no header written\n",
         false,
         true},
        {"output linked to a source the search lists beyond the file limit",
         {"-o", "zz/link.h"},
         [](const std::string& root) {
             for (int i = 0; i < 1030; ++i)
                 write_file(root + "/f" + std::to_string(1000 + i) + ".c", "");
             write_file(root + "/zz.c", "profiler_event_start(kept)");
             make_dir(root + "/zz");
             symlink("../zz.c", (root + "/zz/link.h").c_str());
         },
         1,
         WARNING + "the limit of 1024 files was reached; raise it with --max-files\n" + ERROR +
             "the output \"zz/link.h\" is one of the files searched and not a header of "
             "ours; no header written\n",
         false,
         true},
        {"output with another name",
         {"-o", "zz/hard.h"},
         [](const std::string& root) {
             make_dir(root + "/zz");
             link((root + "/main.c").c_str(), (root + "/zz/hard.h").c_str());
         },
         1,
         ERROR + "the output \"zz/hard.h\" has other names (hard links) and is not a header of "
                 "ours; no header written\n",
         false,
         true},
        {"dependency file in a searched folder named by an exception",
         {"-d", "zz", "-x", "zz", "--depfile", "zz/dep.c"},
         [](const std::string& root) { make_dir(root + "/zz"); },
         1,
         ERROR + "the dependency file \"zz/dep.c\" is one of the files searched; nothing written\n",
         false},
        {"dependency file linked to a source yet to be made",
         {"--depfile", "dl.d"},
         [](const std::string& root) { symlink("new.c", (root + "/dl.d").c_str()); },
         1,
         ERROR + "the dependency file \"dl.d\" is one of the files searched; nothing written\n",
         false,
         true},
        {"dependency file linked to the output yet to be made",
         {"-o", "new.h", "--depfile", "dl.d"},
         [](const std::string& root) { symlink("new.h", (root + "/dl.d").c_str()); },
         1,
         ERROR + "the dependency file \"dl.d\" is the output; nothing written\n",
         false,
         true},
        {"dependency file with another name, empty",
         {"--depfile", "zz/hl.d"},
         [](const std::string& root) {
             write_file(root + "/e.c", "");
             make_dir(root + "/zz");
             link((root + "/e.c").c_str(), (root + "/zz/hl.d").c_str());
         },
         1,
         ERROR + "the dependency file \"zz/hl.d\" is not a dependency file this tool wrote; "
                 "nothing written\n",
         false,
         true},
        {"output in a folder not searched",
         {"-o", "zz/out.c"},
         [](const std::string& root) {
             make_dir(root + "/zz");
             write_file(root + "/zz/out.c", "int kept;");
         },
         0,
         "",
         true},
        {"output named by an exception",
         {"-x", "out.c", "-o", "out.c"},
         file("out.c", "x"),
         0,
         "",
         true},
        {"output in a folder named by an exception",
         {"-r", "-x", "zz", "-o", "zz/out.c"},
         [](const std::string& root) {
             make_dir(root + "/zz");
             write_file(root + "/zz/out.c", "int kept;");
         },
         0,
         "",
         true},
    };
    // Every name the header declares besides the enumerators, in both tables.
    for (const char* id : {"count", "t", "strings", "string_lengths"}) {
        for (const char* kind : {"timeline", "event"}) {
            const std::string call =
                kind[0] == 't' ? "profiler_initialize(" : "profiler_event_start(";
            cases.push_back({"reserved id",
                             {},
                             file("reserved.c", call + id + ")"),
                             1,
                             place_at("./reserved.c", 1, (int)call.size() + 1) +
                                 ": error: the id \"" + id + "\" would declare profiler_" + kind +
                                 "_id_" + id + " twice; no header written\n",
                             false});
        }
    }
    for (const case_t& c : cases) {
        if (windows && c.posix_only) continue;
        std::string root = make_temp_dir("diagnostics");
        write_file(root + "/main.c", "profiler_event_start(frame)");
        write_file(root + "/profiler_ids.h", PREVIOUS_HEADER);
        if (c.setup) c.setup(root);
        std::string output = "profiler_ids.h";
        for (size_t i = 0; i + 1 < c.args.size(); ++i)
            if (c.args[i] == "-o" && !c.args[i + 1].empty()) output = c.args[i + 1];
        const std::string before = file_text(root + "/" + output);
        run_result_t r = run_tool(root, c.args);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(file_text(root + "/" + output) != before, c.written) << c.name;
        if (!c.written) {
            EXPECT_EQ(r.out, "") << c.name;
        }
    }
}

TEST(Diagnostics, VersionReadsAndWritesNothing) {
    std::string root = make_temp_dir("version");
    run_result_t r = run_tool(root, {"-d", "nowhere", "--version"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "tagloomsmith " TAGLOOMSMITH_VERSION "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file_text(root + "/profiler_ids.h"), "<missing>");
}

// Subdirectories a recursive walk cannot enter are said like a -d that
// cannot be searched: the first, why, and how many more.
TEST(Diagnostics, SubdirectoriesThatCannotBeSearched) {
    if (tool_is_windows()) GTEST_SKIP() << "permission bits are POSIX";
    std::string root = make_temp_dir("locked");
    write_file(root + "/main.c", "profiler_event_start(frame)");
    for (const char* name : {"a_locked", "b_locked"}) {
        mkdir((root + "/" + name).c_str(), 0700);
        write_file(root + "/" + name + "/hidden.c", "profiler_event_start(hidden)");
    }
    run_options_t options = as_nobody(root);
    chown(root.c_str(), 65534, 65534);
    for (const char* name : {"a_locked", "b_locked"})
        chmod((root + "/" + name).c_str(), 0);
    run_result_t r = run_tool(root, {"-r", "-o", "-"}, options);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, WARNING + "cannot search directory \"./a_locked\": Permission denied (and 1 "
                               "more directory)\n");
    EXPECT_NE(r.out.find("profiler_event_id_frame,"), std::string::npos);
    for (const char* name : {"a_locked", "b_locked"})
        chmod((root + "/" + name).c_str(), 0700);
}

// Files refused for want of handles are read again once the threads have
// let go of theirs; a run that still cannot read them writes no header.
// strace refuses every open of chosen files, where a limit on handles
// would refuse the folders first.
TEST(Diagnostics, TooFewFileHandles) {
#ifdef UNDER_SANITIZER
    GTEST_SKIP() << "the sanitizer runtime needs handles of its own";
#endif
    if (tool_is_windows()) GTEST_SKIP() << "ulimit is POSIX";
    std::string root = make_temp_dir("handles");
    mkdir((root + "/src").c_str(), 0700);
    for (int i = 0; i < 300; ++i)
        write_file(root + "/src/f" + std::to_string(i) + ".c",
                   "profiler_event_start(e" + std::to_string(i) + ")");
    mkdir((root + "/more").c_str(), 0700);
    write_file(root + "/more/g.c", "profiler_event_start(g)");
    ASSERT_EQ(run_tool(root, {"-d", "src", "-o", "full.h"}).exit_code, 0);
    struct {
        int handles; // -1 for no limit
        strings_t starved, directories;
        int exit_code;
        std::string err;
    } cases[] = {
        {4, {}, {"src"}, 0, ""},
        {3,
         {},
         {"src"},
         1,
         ERROR + "cannot search directory \"src\": Too many open files; no header written\n"},
        // Full paths, which strace matches without a word of its own; the
        // walk lists the folders in order, so the first file is known.
        {-1,
         {root + "/src/f7.c", root + "/more/g.c"},
         {root + "/src", root + "/more"},
         1,
         ERROR + "cannot read \"" + root +
             "/src/f7.c\": Too many open files (and 1 more file); no header written\n"},
    };
    for (auto& c : cases) {
        write_file(root + "/limited.h", PREVIOUS_HEADER);
        run_options_t options;
        options.open_files_limit = c.handles;
        strings_t args;
        if (!c.starved.empty()) {
            if (std::system("strace -V >/dev/null 2>&1") != 0)
                GTEST_SKIP() << "strace is not installed: files starved on every open not tried";
            options.exe = "strace";
            args = {"-fqq", "--output=" + root + "/strace.log", "--trace=openat",
                    "--inject=openat:error=EMFILE"};
            for (const std::string& path : c.starved)
                args.insert(args.end(), {"-P", path});
            args.push_back(tool_path());
        }
        for (const std::string& directory : c.directories)
            args.insert(args.end(), {"-d", directory});
        args.insert(args.end(), {"-o", "limited.h", "-s"});
        run_result_t r = run_tool(root, args, options);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.handles;
        EXPECT_EQ(r.err, c.err) << c.handles;
        EXPECT_TRUE(file_text(root + "/limited.h") ==
                    (c.exit_code == 0 ? file_text(root + "/full.h") : PREVIOUS_HEADER))
            << c.handles;
    }
}

} // namespace
