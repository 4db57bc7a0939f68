#!/usr/bin/env bash
# Reproduces docs/performance.md: builds the tool and the scanner benchmark
# optimised, generates the corpora, then times the tool against ripgrep and
# against plain reading, and runs the scanner benchmark.
# Needs: hyperfine ripgrep time libbenchmark-dev python3 (Debian packages).
# Usage: bench/run.sh [corpora folder] [rounds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
corpora=${1:-/tmp/tagloomsmith-corpora}
rounds=${2:-5}
build="$top/build/bench"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O2 \
    -DTAGLOOMSMITH_TESTS=OFF -DTAGLOOMSMITH_BENCH=ON >/dev/null
cmake --build "$build" -j2 >/dev/null
[ -d "$corpora/e" ] || python3 "$here/gen_corpus.py" "$corpora"
cc -O2 -pthread "$here/read_floor.c" -o "$build/read_floor"
python3 "$here/bench.py" "$build/tagloomsmith" "$corpora" --rounds "$rounds" --floor "$build/read_floor"
"$build/bench/scan_bench" --benchmark_min_time=1
"$build/bench/wake_bench"
