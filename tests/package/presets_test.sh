#!/usr/bin/env bash
# CMakePresets.json on either host. Here (Linux) the Linux presets alone
# show; on Windows (the host conditions turned round in a copy of the
# tree) the Visual Studio preset alone, the one Open Folder then takes: it
# configures without GoogleTest and builds the tool as it ships, with
# clang-cl standing in for cl.
# Usage: presets_test.sh <source dir>
set -euo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL (presets): $*" >&2; exit 1; }
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; fail "$*"; }; }

# The presets of each kind that this host may use, one line a kind.
presets() {
    (cd "$1" && for list in "cmake --list-presets" "cmake --build --list-presets" \
        "ctest --list-presets" "cpack --list-presets"; do
        $list 2>/dev/null | sed -n 's/^ *"\([^"]*\)".*/\1/p' | sort | tr '\n' ' '
        echo
    done)
}
here=$(presets "$source")
case $here in *vs-x64-release*) fail "a Linux host lists the Visual Studio preset: $here" ;; esac
[ "$(grep -c '\bdefault\b' <<<"$here")" = 4 ] || fail "a Linux host misses a default preset: $here"

tar -C "$source" --exclude=./build --exclude=./.git -cf - . | (mkdir "$work/tree" && tar -C "$work/tree" -xf -)
sed -i 's/"rhs": "Linux"/"rhs": "@"/; s/"rhs": "Windows"/"rhs": "Linux"/; s/"rhs": "@"/"rhs": "Windows"/' \
    "$work/tree/CMakePresets.json"
[ "$(presets "$work/tree")" = "$(printf 'vs-x64-release \nvs-x64-release \n\nvs-x64-release ')" ] ||
    fail "a Windows host lists: $(presets "$work/tree")"

cl=$(command -v clang-cl || command -v clang-cl-14 || true)
if [ -z "$cl" ] || ! command -v ninja >/dev/null || ! command -v lld-link >/dev/null; then
    echo "presets listed; the build skipped: no clang-cl, lld-link or ninja"
    exit 0
fi
cd "$work/tree"
quiet cmake --preset vs-x64-release -DCMAKE_TOOLCHAIN_FILE="$work/tree/cmake/clang-cl-x86_64.cmake" \
    -DCMAKE_C_COMPILER="$cl" -DCMAKE_CXX_COMPILER="$cl"
quiet cmake --build --preset vs-x64-release
cache=build/vs-x64-release/CMakeCache.txt
for setting in CMAKE_BUILD_TYPE:STRING=Release TAGLOOMSMITH_TESTS:BOOL=OFF CMAKE_GENERATOR:INTERNAL=Ninja; do
    grep -qx "$setting" "$cache" || fail "the Visual Studio preset's cache lacks $setting"
done
[ -f build/vs-x64-release/tagloomsmith.exe ] || fail "no tagloomsmith.exe"
echo "presets: ok"
