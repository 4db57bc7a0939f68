#!/usr/bin/env bash
# Runs fuzz targets for a given time each, starting from their seed corpus
# (copied, so the seeds in the repository stay as they are).
# Usage: run.sh <build folder holding *_fuzz> <seconds> [target ...]
# Targets: scan command_line list_split format header (default: all).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(scan command_line list_split format header)
status=0
for target in "${targets[@]}"; do
    corpus=$(mktemp -d)
    cp "$here/corpus/$target"/* "$corpus"/ 2>/dev/null || true
    log=$(mktemp)
    if "$build/${target}_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        -rss_limit_mb=4096 -print_final_stats=1 "$corpus" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "$target: ${runs:-?} runs in ${seconds}s, no report"
    else
        echo "$target: FAILED"
        tail -n 60 "$log"
        status=1
    fi
    rm -rf "$corpus" "$log"
done
exit $status
