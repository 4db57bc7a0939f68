#!/usr/bin/env python3
"""Times the tool against ripgrep doing the same job and against just reading
the same files, on the corpora of gen_corpus.py, interleaved round by round
with hyperfine, and measures peak memory with /usr/bin/time -v.

The yardsticks are read_floor (bench/read_floor.c): the least a process can
do with the same files, open, fstat, read and close from a ready list, on as
many threads as the tool uses ("floor"), and the same with one memchr pass
over what it read ("look": each byte looked at once); and both on one
processor (taskset -c 0), the tool too.

Usage: bench.py <tagloomsmith> <corpora folder> [--rounds N] [--floor read_floor] [a b c d e]
Needs: hyperfine, ripgrep, /usr/bin/time (Debian: hyperfine ripgrep time).
"""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile

EXTENSIONS = ["c", "cpp", "h", "hpp"]
PATTERN = (r"(profiler_initialize|profiler_timeline_initialize|profiler_timeline_id_declaration"
           r"|profiler_timeline_set_id|profiler_timeline_set_id_for_index|profiler_event_start"
           r"|profiler_collapsable_start)\(\s*([A-Za-z0-9_]+)")


def commands(tool, corpus, work, floor):
    out = os.path.join(work, "ids.h")
    files = []
    for folder, dirs, names in os.walk(corpus):
        for name in names:
            if name.rsplit(".", 1)[-1] in EXTENSIONS and name != "profiler.h":
                files.append(os.path.join(folder, name))
    lines = os.path.join(work, "files_lines.txt")
    with open(lines, "w") as f:
        f.write("\n".join(files) + "\n")
    globs = " ".join("-g '*.%s'" % e for e in EXTENSIONS) + " -g '!profiler.h'"
    return {
        "tool": "%s -d %s -r -s -o %s" % (tool, corpus, out),
        "ripgrep": "rg --no-ignore --hidden -o --no-filename --no-line-number -r '$2' %s '%s' %s"
                   % (globs, PATTERN, corpus),
        "ripgrep -j1": "rg -j1 --no-ignore --hidden -o --no-filename --no-line-number -r '$2' %s '%s' %s"
                       % (globs, PATTERN, corpus),
        "floor": "%s %s %d read" % (floor, lines, len(os.sched_getaffinity(0))),
        "look": "%s %s %d look" % (floor, lines, len(os.sched_getaffinity(0))),
        "tool on cpu 0": "taskset -c 0 %s -d %s -r -s -o %s" % (tool, corpus, out),
        "look on cpu 0": "taskset -c 0 %s %s 1 look" % (floor, lines),
    }, out


def id_sets(cmds, header, shell):
    subprocess.run(cmds["tool"], shell=True, check=True)
    text = open(header).read()
    tool_ids = set(re.findall(r"profiler_timeline_id_(\w+),", text))
    tool_ids |= set(re.findall(r"profiler_event_id_(\w+),", text))
    tool_ids -= {"profiler_collapse", "profiler_not_measured"}
    rg = subprocess.run(cmds["ripgrep"], shell=True, capture_output=True, text=True, errors="replace")
    rg_ids = set(rg.stdout.split())
    return tool_ids, rg_ids


def time_rounds(cmds, rounds, work):
    times = {name: [] for name in cmds}
    for r in range(rounds):
        for name, cmd in cmds.items():
            export = os.path.join(work, "%s.json" % name)
            subprocess.run(["hyperfine", "-N", "-i",
                            "--warmup", "1", "--runs", "5", "--output", "null",
                            "--export-json", export, cmd],
                           check=True, capture_output=True)
            times[name] += json.load(open(export))["results"][0]["times"]
    return {name: statistics.median(t) for name, t in times.items()}


def peak_kib(cmd):
    r = subprocess.run(["/usr/bin/time", "-v", "bash", "-c", cmd + " >/dev/null"],
                       capture_output=True, text=True)
    m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", r.stderr)
    return int(m.group(1)) if m else -1


def main():
    p = argparse.ArgumentParser()
    p.add_argument("tool")
    p.add_argument("corpora")
    p.add_argument("--rounds", type=int, default=4)
    p.add_argument("--floor", default=os.path.join(os.path.dirname(__file__), "read_floor"))
    p.add_argument("kinds", nargs="*", default=["a", "b", "c", "d", "e"])
    a = p.parse_intermixed_args()
    tool = os.path.abspath(a.tool)
    rows = []
    for kind in a.kinds:
        corpus = os.path.join(a.corpora, kind)
        with tempfile.TemporaryDirectory() as work:
            cmds, header = commands(tool, corpus, work, os.path.abspath(a.floor))
            tool_ids, rg_ids = id_sets(cmds, header, True)
            if tool_ids != rg_ids:
                print("corpus %s: the tool and ripgrep found different ids (%d vs %d)"
                      % (kind, len(tool_ids), len(rg_ids)), file=sys.stderr)
                print(sorted(tool_ids ^ rg_ids)[:20], file=sys.stderr)
                return 1
            medians = time_rounds(cmds, a.rounds, work)
            largest = max(os.path.getsize(os.path.join(d, f))
                          for d, _, fs in os.walk(corpus) for f in fs)
            rows.append((kind, len(tool_ids), medians, peak_kib(cmds["tool"]), peak_kib(cmds["ripgrep"]),
                         largest))
    print("| corpus | ids | tool ms | floor ms | look ms | tool/look | one cpu: tool ms | look ms | "
          "tool/look | ripgrep ms | tool/ripgrep | tool peak MiB | ripgrep peak MiB | largest file MiB |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for kind, ids, m, tool_kib, rg_kib, largest in rows:
        print("| %s | %d | %.1f | %.1f | %.1f | %.2f | %.1f | %.1f | %.2f | %.1f | %.2f | %.1f | %.1f | %.1f |" % (
            kind, ids, m["tool"] * 1e3, m["floor"] * 1e3, m["look"] * 1e3, m["tool"] / m["look"],
            m["tool on cpu 0"] * 1e3, m["look on cpu 0"] * 1e3, m["tool on cpu 0"] / m["look on cpu 0"],
            m["ripgrep"] * 1e3, m["tool"] / m["ripgrep"],
            tool_kib / 1024, rg_kib / 1024, largest / 2**20))
    return 0


if __name__ == "__main__":
    sys.exit(main())
