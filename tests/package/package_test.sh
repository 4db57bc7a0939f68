#!/usr/bin/env bash
# Installs the tool into a fresh prefix, builds the example project against
# it the way users do, and checks the build integration: the header is
# regenerated when a source gains an id or a new source appears, and left
# alone (time stamp and all) when an edit adds no id.
# Usage: package_test.sh <build dir> <source dir> [installed|subdirectory]
set -euo pipefail
build=$1
source=$2
mode=${3:-installed}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; fail "$*"; }; }

cp -r "$source/examples" "$work/example"
rm -f "$work/example/profiler_ids.h"
if [ "$mode" = installed ]; then
    quiet cmake --install "$build" --prefix "$work/prefix"
    [ -x "$work/prefix/bin/tagloomsmith" ] || fail "tool not installed"
    [ -f "$work/prefix/lib/cmake/tagloomsmith/tagloomsmithConfigVersion.cmake" ] || fail "no version file"
    quiet cmake -S "$work/example" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix"
else
    quiet cmake -S "$work/example" -B "$work/build" -DTAGLOOMSMITH_SOURCE_DIR="$source"
fi
quiet cmake --build "$work/build"

header="$work/build/profiler_ids.h"
[ -f "$header" ] || fail "no header generated"
"$work/build/game" >"$work/out" || fail "the example did not run"
for id in main_thread game_loop render_worker audio_thread startup physics_step frame draw_scene present mix; do
    grep -q " $id" "$work/out" || fail "the example does not print $id"
done
grep -q "profiler_collapse" "$work/out" || fail "fixed event ids missing"

stamp() { stat -c %y "$1"; }

# An edit that adds an id regenerates the header.
sleep 1
sed -i 's/profiler_event_start(mix);/profiler_event_start(mix); profiler_event_start(resample); profiler_event_end();/' \
    "$work/example/src/audio/audio.c"
quiet cmake --build "$work/build"
grep -q "profiler_event_id_resample," "$header" || fail "new id not in the header"
"$work/build/game" | grep -q " resample x3" || fail "the example does not count the new id"

# An edit that adds no id leaves the header's bytes and time stamp alone.
before=$(stamp "$header")
sleep 1
echo "/* no new id */" >>"$work/example/src/engine/loop.c"
quiet cmake --build "$work/build"
grep -q "Generating .*profiler_ids.h" "$work/log" || fail "the step did not run again"
[ "$(stamp "$header")" = "$before" ] || fail "header rewritten although no id changed"

# A new source file with a new id is scanned without any other change.
sleep 1
printf 'void unused(void) { profiler_event_start(late_arrival); }\n' >"$work/example/src/late.c"
quiet cmake --build "$work/build"
grep -q "profiler_event_id_late_arrival," "$header" || fail "a new source file was not scanned"

echo "package test ($mode): ok"
