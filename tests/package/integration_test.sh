#!/usr/bin/env bash
# Consumer projects the way users write them, built with one generator:
#   shared       two targets share one header: clean parallel builds, 20 in a row;
#                the same OUTPUT with other options is a configure error; MAX_FILES
#                and MAX_IDS reach the tool
#   fetchcontent the tool fetched into a build folder inside the source tree,
#                default DIRECTORIES with RECURSIVE, a source folder named
#                "build" scanned all the same, configured through a link;
#                every promise (walk_promises); a build folder made after
#                configure is not scanned
#   cross        a mingw cross build with the tool from add_subdirectory: the
#                tool runs on this machine, the program under Wine if present
#   msvc         the same with an MSVC-style compiler (clang-cl, lld-link): the
#                tool's own build takes MSVC flags, app.exe runs under Wine
#   manners      a vendored copy of the tool inside the scanned tree is not
#                scanned; the consumer's install and package hold nothing of it
#   makefile     the README's Make recipe, pasted first (not the default goal)
#                with a link rule after it: every promise, and make -q
#   ninja        the README's build.ninja as it stands: every promise
#   meson        the README's Meson recipe: no work after a build; a new and a
#                deleted source, a deleted and a touched header
# Usage: integration_test.sh <build dir> <source dir> <mode> [generator]
set -euo pipefail
build=$1
source=$2
mode=$3
generator=${4:-Unix Makefiles}
# A comma in every project's path: the tool's lists split at commas.
work=$(mktemp -d "${TMPDIR:-/tmp}/integration,XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL ($mode, $generator): $*" >&2; exit 1; }
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; fail "$*"; }; }

# A project with two source files holding ids and a program that prints them.
make_project() {
    local dir=$1
    mkdir -p "$dir/src"
    cat >"$dir/src/main.c" <<'EOF'
#define PROFILER_ON
#define PROFILER_IMPLEMENTATION
#include "profiler_ids.h"
#include <stdio.h>
void other(void);
int main(void) {
    (void)profiler_event_id_alpha; /* profiler_event_start(alpha) */
    other();
    for (int i = 0; i < profiler_event_id_count; ++i)
        printf("%s\n", profiler_event_id_strings[i]);
    return 0;
}
EOF
    cat >"$dir/src/other.c" <<'EOF'
#define PROFILER_ON
#include "profiler_ids.h"
void other(void) { (void)profiler_event_id_beta; /* profiler_event_start(beta) */ }
EOF
    printf 'void gone(void) { /* profiler_event_start(gamma) */ }\n' >"$dir/src/gone.c"
}

OLD='src/old $#1'
# The project every promise is walked through with: other.c prints the
# value it was compiled with for beta, after the names main.c prints, so a
# file compiled against an older header shows; gamma stands in a header
# no file compiles, in a folder of its own whose name holds the bytes build
# tools escape ($OLD).
make_promise_project() {
    make_project "$1"
    rm "$1/src/gone.c"
    cat >"$1/src/other.c" <<'EOF'
#define PROFILER_ON
#include "profiler_ids.h"
#include <stdio.h>
void other(void) { printf("beta=%d\n", (int)profiler_event_id_beta); /* profiler_event_start(beta) */ }
EOF
    # The value goes last: other() is called after the names are printed.
    sed -i '/^    other();$/d; s/^    return 0;$/    other();\n    return 0;/' "$1/src/main.c"
    mkdir -p "$1/$OLD"
    printf '/* profiler_event_start(gamma) */\n' >"$1/$OLD/gone.h"
}

# One build with "${builder[@]}": how often the tool ran and which of the
# project's sources were compiled, picked out of what the build printed
# with $TOOL_RE and $CC_RE.
build_once() { # <step>
    "${builder[@]}" >"$work/out" 2>&1 || { cat "$work/out" >&2; fail "$1: the build failed"; }
    tool_runs=$(grep -c -- "$TOOL_RE" "$work/out" || true)
    compiled=$(grep -- "$CC_RE" "$work/out" | grep -o 'src/[A-Za-z_/]*\.c' | sort -u | tr '\n' ' ' || true)
}

# $IDLE_RE: what a build with nothing to do must not print either (CMake
# configuring again).
expect_work() { # <step> <tool runs> <sources compiled, or * for any>
    build_once "$1"
    [ "$tool_runs" = "$2" ] || { cat "$work/out" >&2; fail "$1: the tool ran $tool_runs times, not $2"; }
    [ "$3" = "*" ] || [ "$compiled" = "$3" ] ||
        { cat "$work/out" >&2; fail "$1: compiled '$compiled', not '$3'"; }
    if [ "$2$3" = 0 ] && [ -n "${IDLE_RE:-}" ] && grep -q -- "$IDLE_RE" "$work/out"; then
        cat "$work/out" >&2
        fail "$1: $(grep -- "$IDLE_RE" "$work/out" | head -1)"
    fi
}

# The program agrees with the header: the names in its order, and beta's
# value in other.c; and the ids are the ones expected.
expect_ids() { # <step> <sorted ids>
    local out names held beta
    out=$("$app" | tr -d '\r')
    names=$(grep -v = <<<"$out" | tr '\n' ' ')
    held=$(sed -n 's/^    profiler_event_id_\([a-z_]*\),$/\1/p' "$header" | tr '\n' ' ')
    [ "$names" = "$held" ] || fail "$1: the program prints '$names', the header holds '$held'"
    [ "$(tr ' ' '\n' <<<"$names" | grep . | sort | tr '\n' ' ')" = "$2" ] || fail "$1: ids '$names', not '$2'"
    beta=$(tr ' ' '\n' <<<"$held" | grep -n -x beta | cut -d: -f1)
    grep -qx "beta=$((beta - 1))" <<<"$out" ||
        fail "$1: other.c was compiled with $(grep = <<<"$out"), the header has beta=$((beta - 1))"
}

# What every documented build system promises, in one walk: the first
# build compiles; a build with nothing changed runs nothing; an edit that
# adds no id recompiles that file alone, and the build after it runs
# nothing; a new id regenerates the header and recompiles every file that
# includes it; a new source in a new folder, a renamed folder, a deleted
# source and a deleted folder are followed, each with nothing left to do
# after it; a deleted header is made again. The argument: ids the header
# holds besides the project's; $new_folder_compiles: what a new source in a
# new folder compiles (the header's includers, and the source itself where
# the build lists sources recursively); $touched_header_runs: how often a
# header touched without a change runs the tool (once where make compares
# it with the tool's last run).
walk_promises() { # <extra ids>
    local extra="profiler_collapse profiler_not_measured $1"
    ids_of() { tr ' ' '\n' <<<"$* $extra" | grep . | sort | tr '\n' ' '; }
    expect_work "the first build" 1 "src/main.c src/other.c "
    expect_ids "the first build" "$(ids_of alpha beta gamma)"
    expect_work "a build with nothing changed" 0 ""
    printf '/* no id here */\n' >>src/other.c
    expect_work "an edit that adds no id" 1 "src/other.c "
    expect_work "the build after an edit that adds no id" 0 ""
    printf '/* profiler_event_start(delta) */\n' >>"$OLD/gone.h"
    expect_work "a new id" 1 "src/main.c src/other.c "
    expect_ids "a new id" "$(ids_of alpha beta gamma delta)"
    expect_work "the build after a new id" 0 ""
    rm "$header"
    expect_work "a deleted header" 1 "src/main.c src/other.c "
    expect_ids "a deleted header" "$(ids_of alpha beta gamma delta)"
    expect_work "the build after a deleted header" 0 ""
    touch "$header"
    expect_work "a touched header" "$touched_header_runs" "src/main.c src/other.c "
    expect_work "the build after a touched header" 0 ""
    mkdir src/new
    printf 'void late(void) { /* profiler_event_start(epsilon) */ }\n' >src/new/late.c
    expect_work "a new source in a new folder" 1 "$new_folder_compiles"
    expect_ids "a new source in a new folder" "$(ids_of alpha beta gamma delta epsilon)"
    expect_work "the build after a new folder" 0 ""
    mv src/new src/renamed
    expect_work "a renamed folder" 1 "*"
    expect_ids "a renamed folder" "$(ids_of alpha beta gamma delta epsilon)"
    expect_work "the build after a renamed folder" 0 ""
    rm "$OLD/gone.h"
    expect_work "a deleted source" 1 "*"
    expect_ids "a deleted source" "$(ids_of alpha beta epsilon)"
    expect_work "the build after a deleted source" 0 ""
    rm -r src/renamed
    expect_work "a deleted folder" 1 "*"
    expect_ids "a deleted folder" "$(ids_of alpha beta)"
    expect_work "the build after a deleted folder" 0 ""
}

# The ids a program prints, sorted, on one line.
ids() { "$@" | tr -d '\r' | sort | tr '\n' ' '; }
ALL="alpha beta gamma profiler_collapse profiler_not_measured "
LEFT="alpha beta profiler_collapse profiler_not_measured "

install_prefix() {
    quiet cmake --install "$build" --prefix "$work/prefix"
}

configure() { # <source> <build> [args...]
    local src=$1 bin=$2
    shift 2
    quiet cmake -S "$src" -B "$bin" -G "$generator" "$@"
}

case $mode in
shared)
    install_prefix
    make_project "$work/p"
    cat >"$work/p/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(shared C)
find_package(tagloomsmith 0.1 REQUIRED)
add_executable(app src/main.c src/other.c src/gone.c)
add_executable(app_tests src/main.c src/other.c src/gone.c)
tagloomsmith_generate_ids(app DIRECTORIES src)
tagloomsmith_generate_ids(app_tests DIRECTORIES src)
if(CLASH)
    tagloomsmith_generate_ids(app_tests DIRECTORIES src RECURSIVE)
endif()
if(LIMIT)
    add_executable(limited src/main.c src/other.c src/gone.c)
    tagloomsmith_generate_ids(limited DIRECTORIES src OUTPUT limited_ids/profiler_ids.h
                              MAX_FILES 3 MAX_IDS ${LIMIT})
endif()
EOF
    configure "$work/p" "$work/b" -DCMAKE_PREFIX_PATH="$work/prefix"
    for round in $(seq 20); do
        quiet cmake --build "$work/b" --target clean
        quiet cmake --build "$work/b" --parallel 4
        [ "$(ids "$work/b/app_tests")" = "$ALL" ] || fail "round $round: $(ids "$work/b/app_tests")"
    done
    if cmake -S "$work/p" -B "$work/b" -DCLASH=ON >"$work/log" 2>&1; then
        fail "the same OUTPUT with other options was accepted"
    fi
    grep -q "generated already" "$work/log" || { cat "$work/log"; fail "no word on the clash"; }
    # The limits reach the tool: three event ids pass a limit of 3, not of 2.
    configure "$work/p" "$work/b" -DCLASH=OFF -DLIMIT=3
    quiet cmake --build "$work/b" --target limited
    configure "$work/p" "$work/b" -DLIMIT=2
    if cmake --build "$work/b" --target limited >"$work/log" 2>&1; then
        fail "MAX_IDS 2 let three ids pass"
    fi
    grep -q "the limit of 2 event ids was reached; raise it with --max-ids" "$work/log" ||
        { cat "$work/log"; fail "no word on MAX_IDS"; }
    ;;
fetchcontent)
    # The tool's own tree as a release archive would carry it.
    tar -C "$source" --exclude=./build --exclude=./.git -czf "$work/tagloomsmith.tar.gz" .
    make_promise_project "$work/p"
    # Source folders named like build folders are scanned all the same.
    mkdir -p "$work/p/src/build/CMakeFiles"
    printf '/* profiler_event_start(zeta) */\n' >"$work/p/src/build/CMakeFiles/kept.h"
    cat >"$work/p/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(fetched C)
include(FetchContent)
FetchContent_Declare(tagloomsmith URL "$work/tagloomsmith.tar.gz")
FetchContent_MakeAvailable(tagloomsmith)
file(GLOB_RECURSE sources CONFIGURE_DEPENDS src/*.c)
add_executable(app \${sources})
target_compile_options(app PRIVATE -Wall -Wextra -Werror)
tagloomsmith_generate_ids(app RECURSIVE)
EOF
    # Configured through a link, whose "$" Ninja must not read as a variable.
    ln -s . "$work/li\$nk"
    configure "$work/li\$nk/p" "$work/li\$nk/p/build"
    [ -d "$work/p/build/_deps/tagloomsmith-src/examples" ] || fail "the tool was not fetched into the tree"
    # The tool itself is built first, apart from the walk.
    quiet cmake --build "$work/p/build" --parallel 2 --target tagloomsmith
    cd "$work/li\$nk/p"
    builder=(cmake --build build)
    TOOL_RE='Generating .*profiler_ids\.h'
    CC_RE='Building C object'
    IDLE_RE='Re-running CMake\|-- Configuring'
    header=build/profiler_ids.h
    app=./build/app
    if [ "$generator" = "Ninja Multi-Config" ]; then app=./build/Debug/app; fi
    new_folder_compiles="src/main.c src/new/late.c src/other.c "
    touched_header_runs=0
    if [ "$generator" = "Unix Makefiles" ]; then touched_header_runs=1; fi
    walk_promises zeta
    # A build folder made in the tree after configure is not searched, nor
    # is what its own builds write there.
    mkdir build2 && touch build2/CMakeCache.txt
    printf '/* profiler_event_start(junk) */\n' >build2/junk.h
    expect_work "a build folder made after configure" 1 ""
    expect_ids "a build folder made after configure" "alpha beta profiler_collapse profiler_not_measured zeta "
    printf '/* profiler_event_start(more) */\n' >>build2/junk.h
    expect_work "a build in that folder" 0 ""
    [ "$generator" != "Unix Makefiles" ] || ! (cd "$work" && cmake -S p -B "b (2)") >"$work/log" 2>&1 || fail "make was given ( to read"
    [ "$generator" != "Unix Makefiles" ] || grep -q 'holding "("' <(tr -s ' \n' ' ' <"$work/log") || fail "no word on ("
    # A folder with a comma of its own that must not be scanned: no form
    # of its path passes, and configure says so.
    mkdir src/old,cache && touch src/old,cache/CMakeCache.txt
    ! cmake -S . -B build >"$work/log" 2>&1 || fail "a folder that cannot be left out went unsaid"
    grep -q "src/old,cache must not be scanned" <(tr -s ' \n' ' ' <"$work/log") || { cat "$work/log"; fail "no word on the comma"; }
    ;;
cross)
    command -v x86_64-w64-mingw32-gcc >/dev/null || { echo "skipped: no mingw"; exit 77; }
    make_project "$work/p"
    cat >"$work/p/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(cross C)
add_subdirectory("$source" tagloomsmith)
add_executable(app src/main.c src/other.c src/gone.c)
tagloomsmith_generate_ids(app DIRECTORIES src)
EOF
    configure "$work/p" "$work/b" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-w64-x86_64.cmake"
    quiet cmake --build "$work/b" --parallel 2
    [ -f "$work/b/app.exe" ] || fail "no app.exe"
    grep -q "profiler_event_id_beta," "$work/b/profiler_ids.h" || fail "no header from the host tool"
    # Wine makes a prefix of its own for a while: once, with Ninja.
    if command -v wine >/dev/null && [ "$generator" = Ninja ]; then
        export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' HOME="$work"
        [ "$(ids wine "$work/b/app.exe" 2>/dev/null)" = "$ALL" ] || fail "app.exe did not run"
        sh "$source/tests/windows/wine_stop.sh" "$WINEPREFIX"
    fi
    ;;
msvc)
    command -v clang-cl >/dev/null || command -v clang-cl-14 >/dev/null ||
        { echo "skipped: no clang-cl"; exit 77; }
    make_project "$work/p"
    # No C runtime here either: the program writes through KERNEL32 alone.
    cat >"$work/p/src/main.c" <<'EOF'
#define PROFILER_ON
#define PROFILER_IMPLEMENTATION
#include "profiler_ids.h"
#include <windows.h>
void other(void);
void app_entry(void) { /* profiler_event_start(alpha) */
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written;
    other();
    for (int i = 0; i < profiler_event_id_count; ++i) {
        WriteFile(out, profiler_event_id_strings[i], profiler_event_id_string_lengths[i], &written, 0);
        WriteFile(out, "\n", 1, &written, 0);
    }
    ExitProcess(0);
}
EOF
    cat >"$work/p/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(msvc C)
add_subdirectory("$source" tagloomsmith)
add_executable(app src/main.c src/other.c src/gone.c)
target_compile_options(app PRIVATE /GS- /Zl /W4 /WX)
target_link_options(app PRIVATE /NODEFAULTLIB /ENTRY:app_entry /SUBSYSTEM:CONSOLE)
target_link_libraries(app PRIVATE "\${TAGLOOMSMITH_KERNEL32_LIBRARY}")
tagloomsmith_generate_ids(app DIRECTORIES src)
EOF
    # A Debug build: CMake's Debug flags hold /RTC1, which the tool cannot
    # link without the C runtime (clang-cl ignores it, the real compiler
    # does not, so the flags are what this can check); the project's own
    # files keep it.
    configure "$work/p" "$work/b" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/clang-cl-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
    # The files under a folder: how many, and how many with runtime checks.
    rtc() {
        python3 -c 'import json, re, sys
c = [e["command"] for e in json.load(open(sys.argv[1])) if e["file"].startswith(sys.argv[2])]
print(len(c), sum(1 for x in c if re.search(r"(^| )[/-]RTC", x)))' "$work/b/compile_commands.json" "$1"
    }
    read -r count checked < <(rtc "$source/")
    [ "$count" -gt 10 ] && [ "$checked" = 0 ] || fail "the tool's Debug flags: $count files, $checked with /RTC"
    [ "$(rtc "$work/p/src/")" = "3 3" ] || fail "the project's own Debug flags: $(rtc "$work/p/src/")"
    quiet cmake --build "$work/b" --parallel 2
    [ -f "$work/b/app.exe" ] && [ -f "$work/b/tagloomsmith/tagloomsmith.exe" ] || fail "no app.exe or tool"
    # A target other than x64 stops at configure, saying what to do.
    if [ "$generator" = "Unix Makefiles" ]; then
        if cmake -S "$work/p" -B "$work/x86" -G "$generator" \
            -DCMAKE_TOOLCHAIN_FILE="$source/cmake/clang-cl-x86_64.cmake" \
            -DCMAKE_C_FLAGS=--target=i686-pc-windows-msvc -DCMAKE_CXX_FLAGS=--target=i686-pc-windows-msvc \
            >"$work/log" 2>&1; then
            fail "an x86 configure went through"
        fi
        grep -q "targets 'X86'.*-A x64" <(tr -s ' \n' ' ' <"$work/log") || { cat "$work/log"; fail "no word on x64"; }
    fi
    if command -v wine >/dev/null && [ "$generator" = Ninja ]; then
        export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' HOME="$work"
        [ "$(ids wine "$work/b/app.exe" 2>/dev/null)" = "$ALL" ] || fail "app.exe did not run"
        sh "$source/tests/windows/wine_stop.sh" "$WINEPREFIX"
    fi
    ;;
manners)
    make_project "$work/p"
    # Its tests hold ids such as "count", which no header can take.
    mkdir -p "$work/p/third_party/tagloomsmith"
    tar -C "$source" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/p/third_party/tagloomsmith" -xf -
    cat >"$work/p/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(consumer VERSION 2.0 LANGUAGES C)
add_subdirectory(third_party/tagloomsmith)
add_executable(app src/main.c src/other.c src/gone.c)
tagloomsmith_generate_ids(app RECURSIVE)
install(TARGETS app RUNTIME DESTINATION bin)
set(CPACK_GENERATOR TGZ)
include(CPack)
EOF
    configure "$work/p" "$work/b"
    quiet cmake --build "$work/b" --parallel 2
    [ "$(ids "$work/b/app")" = "$ALL" ] || fail "ids: $(ids "$work/b/app")"
    quiet cmake --install "$work/b" --prefix "$work/installed"
    [ "$(cd "$work/installed" && find . -type f)" = "./bin/app" ] ||
        fail "the consumer's install holds more: $(cd "$work/installed" && find . -type f | tr '\n' ' ')"
    (cd "$work/b" && quiet cpack)
    archive=$(ls "$work/b"/consumer-2.0*.tar.gz 2>/dev/null) || fail "no consumer-named archive"
    [ "$(tar -tzf "$archive" | grep -v '/$' | sed 's|^[^/]*/||')" = "bin/app" ] ||
        fail "the consumer's package holds more: $(tar -tzf "$archive" | tr '\n' ' ')"
    if [ "$generator" = Ninja ]; then
        ninja -C "$work/b" -t targets all >"$work/targets"
    else
        cmake --build "$work/b" --target help >"$work/targets"
    fi
    grep -q "tagloomsmith_app_[0-9a-f]\{8\}" "$work/targets" || fail "no helper target named after app"
    ! grep -q "_tmp_" "$work/targets" || fail "a helper name carries a path: $(grep _tmp_ "$work/targets")"
    ;;
makefile)
    install_prefix
    make_promise_project "$work/p"
    # The README's recipe, word for word, pasted first in a Makefile.
    awk '/^```make$/ {on = 1; next} /^```$/ {on = 0} on' "$source/README.md" >"$work/p/Makefile"
    grep -q -- '--depfile-target' "$work/p/Makefile" || fail "no Make recipe in the README"
    printf 'app: $(OBJECTS)\n\t$(CC) -o $@ $(OBJECTS)\n' >>"$work/p/Makefile"
    export PATH="$work/prefix/bin:$PATH"
    cd "$work/p"
    builder=(make -j4)
    TOOL_RE='^tagloomsmith -d'
    CC_RE=' -c '
    header=build/profiler_ids.h
    app=./app
    new_folder_compiles="src/main.c src/new/late.c src/other.c "
    touched_header_runs=1
    walk_promises ""
    make -q || fail "make -q after a build: not up to date"
    # make -q remakes the tool's dependency file first, as GNU make remakes
    # every included makefile: it runs the tool, then says what is left.
    printf '/* no id here */\n' >>src/other.c
    ! make -q >"$work/out" 2>&1 || fail "make -q after an edit: up to date"
    [ "$(grep -c -- "$TOOL_RE" "$work/out")" = 1 ] || fail "make -q after an edit: $(cat "$work/out")"
    expect_work "the build after make -q" 0 "src/other.c "
    # A failed run stops make, however old the header it left is.
    ln -s nowhere src/dangling.h
    ! make >"$work/out" 2>&1 || fail "make went on after the tool failed: $(cat "$work/out")"
    rm src/dangling.h
    quiet make
    printf '#include "../local.h"\n' >>src/other.c && touch local.h && quiet make # outside src, only -MP's rule names it
    sed -i '$d' src/other.c && rm local.h && quiet make
    ;;
ninja)
    command -v ninja >/dev/null || { echo "skipped: no ninja"; exit 77; }
    install_prefix
    make_promise_project "$work/p"
    # The README's build.ninja, word for word.
    awk '/^```ninja$/ {on = 1; next} /^```$/ {on = 0} on' "$source/README.md" >"$work/p/build.ninja"
    grep -q 'deps = gcc' "$work/p/build.ninja" || fail "no build.ninja in the README"
    export PATH="$work/prefix/bin:$PATH"
    cd "$work/p"
    builder=(ninja)
    TOOL_RE='tagloomsmith -d'
    CC_RE=' -c '
    header=build/profiler_ids.h
    app=./app
    new_folder_compiles="src/main.c src/other.c "
    touched_header_runs=0
    walk_promises ""
    ninja | grep -q "no work to do" || fail "a no-op build said other than 'no work to do'"
    ;;
meson)
    command -v ninja >/dev/null || { echo "skipped: no ninja"; exit 77; }
    command -v meson >/dev/null || { echo "skipped: no meson"; exit 77; }
    install_prefix
    make_project "$work/p"
    export PATH="$work/prefix/bin:$PATH"
    cd "$work/p"
    { printf "project('consumer', 'c')\n"; awk '/^```meson$/ {on = 1; next} /^```$/ {on = 0} on' "$source/README.md" |
        sed "s|executable('game', 'src/main.c', ids)|executable('app', 'src/main.c', 'src/other.c', 'src/gone.c', ids)|"; } >meson.build
    quiet meson setup b
    builder() { ninja -C b "$@"; }
    app=./b/app
    quiet builder
    [ "$(ids $app)" = "$ALL" ] || fail "first build: $(ids $app)"
    builder | grep -q "no work to do" || fail "a no-op build did work"
    printf '/* profiler_event_start(delta) */\n' >src/late.h
    quiet builder
    [ "$(ids $app)" = "$ALL" ] && fail "a new source was not scanned"
    rm src/late.h
    quiet builder
    [ "$(ids $app)" = "$ALL" ] || fail "after a deletion: $(ids $app)"
    builder | grep -q "no work to do" || fail "a no-op build after a deletion did work"
    rm b/profiler_ids.h
    quiet builder
    [ "$(ids $app)" = "$ALL" ] || fail "after the header was deleted: $(ids $app)"
    # Meson's step keeps Ninja's record of what the tool read (deps = gcc),
    # which a header touched without a change makes look stale.
    touch b/profiler_ids.h
    runs=$({ builder && builder; } | grep -c "Generating profiler_ids" || true)
    [ "$runs" -le 2 ] || fail "a touched header ran the tool $runs times"
    builder | grep -q "no work to do" || fail "a third build after a touched header did work"
    ;;
*)
    fail "unknown mode"
    ;;
esac
echo "integration test ($mode, $generator): ok"
