#!/usr/bin/env bash
# Consumer projects the way users write them, built with one generator:
#   shared       two targets share one header: clean parallel builds, 20 in a row;
#                the same OUTPUT with other options is a configure error
#   fetchcontent the tool fetched into a build folder inside the source tree,
#                default DIRECTORIES with RECURSIVE; deleting a source removes its id
#   cross        a mingw cross build with the tool from add_subdirectory: the
#                tool runs on this machine, the program under Wine if present
#   msvc         the same with an MSVC-style compiler (clang-cl, lld-link): the
#                tool's own build takes MSVC flags, app.exe runs under Wine
#   manners      a vendored copy of the tool inside the scanned tree is not
#                scanned; the consumer's install and package hold nothing of it
#   makefile     the README's Make recipe: pasted first, not the default goal;
#                make -q after a build; no-op; a new and a deleted source
#   ninja, meson the README's Ninja and Meson recipes: no work after a build;
#                a new and a deleted source
# Usage: integration_test.sh <build dir> <source dir> <mode> [Ninja|"Unix Makefiles"]
set -euo pipefail
build=$1
source=$2
mode=$3
generator=${4:-Unix Makefiles}
work=$(mktemp -d)
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
    ;;
fetchcontent)
    # The tool's own tree as a release archive would carry it.
    tar -C "$source" --exclude=./build --exclude=./.git -czf "$work/tagloomsmith.tar.gz" .
    make_project "$work/p"
    cat >"$work/p/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(fetched C)
include(FetchContent)
FetchContent_Declare(tagloomsmith URL "$work/tagloomsmith.tar.gz")
FetchContent_MakeAvailable(tagloomsmith)
file(GLOB sources CONFIGURE_DEPENDS src/*.c)
add_executable(app \${sources})
target_compile_options(app PRIVATE -Wall -Wextra -Werror)
tagloomsmith_generate_ids(app RECURSIVE)
EOF
    configure "$work/p" "$work/p/build"
    quiet cmake --build "$work/p/build" --parallel 2
    quiet cmake --build "$work/p/build"
    ! grep -q "Re-running CMake" "$work/log" || fail "a no-op build configured again"
    [ -d "$work/p/build/_deps/tagloomsmith-src/examples" ] || fail "the tool was not fetched into the tree"
    [ "$(ids "$work/p/build/app")" = "$ALL" ] || fail "ids: $(ids "$work/p/build/app")"
    rm "$work/p/src/gone.c"
    quiet cmake --build "$work/p/build"
    [ "$(ids "$work/p/build/app")" = "$LEFT" ] || fail "after a deletion: $(ids "$work/p/build/app")"
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
    configure "$work/p" "$work/b" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/clang-cl-x86_64.cmake"
    quiet cmake --build "$work/b" --parallel 2
    [ -f "$work/b/app.exe" ] && [ -f "$work/b/tagloomsmith/tagloomsmith.exe" ] || fail "no app.exe or tool"
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
    make_project "$work/p"
    # The README's recipe, word for word, pasted first in a Makefile.
    awk '/^```make$/ {on = 1; next} /^```$/ {on = 0} on' "$source/README.md" >"$work/p/Makefile"
    grep -q -- '--depfile' "$work/p/Makefile" || fail "no Make recipe in the README"
    printf 'app: $(OBJECTS)\n\tcc -o $@ $(OBJECTS)\nbuild/%%.o: src/%%.c\n\tcc $(CPPFLAGS) -c -o $@ $<\n' >>"$work/p/Makefile"
    export PATH="$work/prefix/bin:$PATH"
    cd "$work/p"
    quiet make -j4
    [ "$(ids ./app)" = "$ALL" ] || fail "first build: $(ids ./app)"
    make -q || fail "make -q after a build: not up to date"
    make -j4 >"$work/noop" 2>&1 || fail "no-op build"
    ! grep -q '^cc ' "$work/noop" || fail "a no-op build compiled: $(cat "$work/noop")"
    printf 'void late(void) { /* profiler_event_start(delta) */ }\n' >src/late.h
    quiet make -j4
    [ "$(ids ./app)" = "$ALL" ] && fail "a new source was not scanned"
    rm src/late.h src/gone.c
    quiet make -j4 app
    [ "$(ids ./app)" = "$LEFT" ] || fail "after a deletion: $(ids ./app)"
    ;;
ninja | meson)
    command -v ninja >/dev/null || { echo "skipped: no ninja"; exit 77; }
    install_prefix
    make_project "$work/p"
    export PATH="$work/prefix/bin:$PATH"
    cd "$work/p"
    if [ "$mode" = ninja ]; then
        {
            printf 'rule cc\n  command = cc -Ibuild -MD -MF $out.d -c -o $out $in\n'
            printf '  depfile = $out.d\n  deps = gcc\nrule link\n  command = cc -o $out $in\n'
            awk '/^```ninja$/ {on = 1; next} /^```$/ {on = 0} on' "$source/README.md"
            printf 'build build/other.o: cc src/other.c || build/profiler_ids.h\n'
            printf 'build build/gone.o: cc src/gone.c || build/profiler_ids.h\n'
            printf 'build app: link build/main.o build/other.o build/gone.o\n'
        } >build.ninja
        builder() { ninja "$@"; }
        app=./app
    else
        command -v meson >/dev/null || { echo "skipped: no meson"; exit 77; }
        { printf "project('consumer', 'c')\n"; awk '/^```meson$/ {on = 1; next} /^```$/ {on = 0} on' "$source/README.md" |
            sed "s|executable('game', 'src/main.c', ids)|executable('app', 'src/main.c', 'src/other.c', 'src/gone.c', ids)|"; } >meson.build
        quiet meson setup b
        builder() { ninja -C b "$@"; }
        app=./b/app
    fi
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
    ;;
*)
    fail "unknown mode"
    ;;
esac
echo "integration test ($mode, $generator): ok"
