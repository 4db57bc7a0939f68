#pragma once

// Runs the built program the way a user or a build script does: in a
// directory of its own, with an argument vector, capturing both outputs and
// the exit code. TAGLOOMSMITH_EXE names the program and TAGLOOMSMITH_RUNNER
// an optional program to start it with (wine, for the Windows executable).

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"

struct run_result_t {
    int exit_code = -1;
    std::string out, err;
};

struct run_options_t {
    bool close_stdout = false;
    std::string stdout_path;    // standard output goes to this file instead, when not empty
    long file_size_limit = -1;  // bytes, with SIGXFSZ ignored
    long open_files_limit = -1; // descriptors, with every one above 2 closed first
    uid_t user = 0;             // run as this user instead, when nonzero
    std::string exe;            // this copy of the program instead, when not empty
    // Called with the program's process id before it starts.
    std::function<void(pid_t)> before_start;
};

inline std::string tool_path() {
    const char* exe = std::getenv("TAGLOOMSMITH_EXE");
    return exe ? exe : TAGLOOMSMITH_DEFAULT_EXE;
}

inline bool tool_is_windows() {
    std::string exe = tool_path();
    return exe.size() > 4 && exe.substr(exe.size() - 4) == ".exe";
}

// Sanitizer runtimes need more address space and descriptors than some
// hostile limits leave.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define UNDER_SANITIZER 1
#endif
#endif

// Whether the text is a whole header: its first line and its last.
inline bool header_complete(const std::string& text) {
    const std::string end = "\n#define PROFILER_IDS_H\n#endif\n";
    return text.rfind("\n#ifndef PROFILER_IDS_H\n", 0) == 0 && text.size() > end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What a test leaves at an output to tell whether a run replaced it: a
// header an earlier run could have written, which a run may replace
// though it scans it.
const std::string PREVIOUS_HEADER =
    "\n#ifndef PROFILER_IDS_H\n\n#ifdef PROFILER_ON\n\n#include <stdint.h>\n\nprevious\n";

// The OS's words for an error, as the program under test says them.
inline std::string os_reason(const std::string& posix, const std::string& windows) {
    return tool_is_windows() ? windows : posix;
}

// Where the program under test says a place is: "dir/a.c:12:5" as gcc
// writes it, "dir\\a.c(12,5)" as the Microsoft compiler does; the system's own
// form unless other is set. The path is given with '/'. The Microsoft form's
// column is character when the two count apart (a tab, a wide character).
inline std::string place_at(std::string path, int line, int column, bool other = false,
                            int character = 0) {
    if (tool_is_windows())
        for (char& c : path)
            if (c == '/') c = '\\';
    const std::string l = std::to_string(line);
    if (tool_is_windows() != other)
        return path + "(" + l + "," + std::to_string(character ? character : column) + ")";
    return path + ":" + l + ":" + std::to_string(column);
}

inline std::string read_all(int fd) {
    std::string s;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        s.append(buffer, (size_t)n);
    return s;
}

inline run_result_t run_tool(const std::string& cwd, const std::vector<std::string>& args,
                             const run_options_t& options = {}) {
    std::vector<std::string> argv;
    if (const char* runner = std::getenv("TAGLOOMSMITH_RUNNER")) argv.push_back(runner);
#ifdef TAGLOOMSMITH_DEFAULT_RUNNER
    else
        argv.push_back(TAGLOOMSMITH_DEFAULT_RUNNER);
#endif
    argv.push_back(options.exe.empty() ? tool_path() : options.exe);
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (auto& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);

    int out[2], err[2], go[2];
    // Close-on-exec, so that runs started from several threads at once do not
    // hold each other's pipes open.
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 || pipe2(go, O_CLOEXEC) != 0)
        return {};
    pid_t child = fork();
    if (child == 0) {
        char byte;
        close(go[1]);
        if (read(go[0], &byte, 1) != 1) _exit(127);
        close(go[0]);
        if (options.user != 0 && (setgid(options.user) != 0 || setuid(options.user) != 0))
            _exit(127);
        if (chdir(cwd.c_str()) != 0) _exit(127);
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        close(out[1]);
        close(err[1]);
        if (options.close_stdout) close(1);
        if (!options.stdout_path.empty()) {
            const int fd = open(options.stdout_path.c_str(), O_WRONLY);
            if (fd < 0 || dup2(fd, 1) != 1) _exit(127);
            close(fd);
        }
        if (options.open_files_limit >= 0) {
            for (int fd = 3; fd < 1024; ++fd)
                close(fd);
            struct rlimit limit = {(rlim_t)options.open_files_limit,
                                   (rlim_t)options.open_files_limit};
            setrlimit(RLIMIT_NOFILE, &limit);
        }
        if (options.file_size_limit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {(rlim_t)options.file_size_limit,
                                   (rlim_t)options.file_size_limit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execvp(pointers[0], pointers.data());
        _exit(127);
    }
    close(go[0]);
    if (options.before_start) options.before_start(child);
    if (write(go[1], "g", 1) != 1) return {};
    close(go[1]);
    close(out[1]);
    close(err[1]);
    run_result_t result;
    // The tool says little on standard error: read the output first.
    result.out = read_all(out[0]);
    result.err = read_all(err[0]);
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

// Options that run the program as nobody where the tests run as root (root
// may read and write anything): a copy of it in the test's folder, which
// nobody may then change, whatever the folders above the build allow.
inline run_options_t as_nobody(const std::string& root) {
    run_options_t options;
    if (geteuid() != 0) return options;
    options.user = 65534;
    options.exe = root + "/tool";
    if (std::system(("cp '" + tool_path() + "' '" + options.exe + "'").c_str()) != 0) return {};
    chmod(options.exe.c_str(), 0755);
    chmod(root.c_str(), 0777);
    return options;
}

// The temporary files a run may have left in a folder.
inline std::vector<std::string> temporary_files(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)
                names.push_back(name);
        }
        closedir(d);
    }
    return names;
}
