#!/usr/bin/env python3
"""How a whole run grows with the tree: 1,000, 10,000 and 100,000 files of
about 10 KiB (the largest about 1 GiB), ids spread through them, each size
timed against read_floor's look floor (bench/read_floor.c) on every
processor and on one (taskset -c 0). The tree is generated under a folder of
its own, removed at the end.

Usage: scale.py <tagloomsmith> <read_floor> [--work DIR] [--runs N] [--keep]
Prints a Markdown table, and the load average before and after (other work
on the machine moves the figures).
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gen_corpus import source_text  # noqa: E402

SIZES = [1000, 10000, 100000]
PER_FOLDER = 1000
FILE_BYTES = 10 * 1024
CALLS = ["profiler_event_start", "profiler_initialize", "profiler_collapsable_start",
         "profiler_timeline_set_id"]


def generate(tree, files):
    """Files in folders of PER_FOLDER; each a body from a pool of plain code
    with calls of its own at a place of its own, so ids are everywhere."""
    rng = random.Random(20261209)
    pool = [source_text(rng, FILE_BYTES, 10**9, ["x"]).splitlines(True) for _ in range(64)]
    for i in range(files):
        folder = os.path.join(tree, "d%03d" % (i // PER_FOLDER))
        if i % PER_FOLDER == 0:
            os.makedirs(folder)
        lines = list(pool[i % len(pool)])
        for k in range(rng.randint(0, 2)):
            call = CALLS[(i + k) % len(CALLS)]
            lines.insert(rng.randrange(len(lines)), "    %s( id_%d );\n" % (call, (i * 3 + k) % 30000))
        with open(os.path.join(folder, "f%06d.c" % i), "w") as f:
            f.writelines(lines)


def median_ms(cmd, runs):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)  # warm the cache
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times) * 1e3


def main():
    p = argparse.ArgumentParser()
    p.add_argument("tool")
    p.add_argument("floor")
    p.add_argument("--work")
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--keep", action="store_true")
    a = p.parse_args()
    work = tempfile.mkdtemp(prefix="tagloomsmith-scale-", dir=a.work)
    try:
        tree = os.path.join(work, "tree")
        generate(tree, SIZES[-1])
        load_before = os.getloadavg()
        threads = len(os.sched_getaffinity(0))
        rows = []
        for n in SIZES:
            folders = [os.path.join(tree, "d%03d" % d) for d in range(n // PER_FOLDER)]
            listed = os.path.join(work, "list%d.txt" % n)
            size = 0
            with open(listed, "w") as f:
                for folder in folders:
                    for name in sorted(os.listdir(folder)):
                        path = os.path.join(folder, name)
                        size += os.path.getsize(path)
                        f.write(path + "\n")
            dirs = ["-d", tree] if n == SIZES[-1] else [x for d in folders for x in ("-d", d)]
            tool = [a.tool] + dirs + ["-r", "-s", "--strict", "--max-files", str(n),
                                      "--max-ids", "65535", "-o", os.path.join(work, "ids.h")]
            one = ["taskset", "-c", "0"]
            rows.append((n, size, median_ms(tool, a.runs),
                         median_ms([a.floor, listed, str(threads), "look"], a.runs),
                         median_ms(one + tool, a.runs),
                         median_ms(one + [a.floor, listed, "1", "look"], a.runs)))
        load_after = os.getloadavg()
        print("| files | MiB | tool ms | look ms | tool/look | one cpu: tool ms | look ms | tool/look "
              "| tool µs per file |")
        print("|---|---|---|---|---|---|---|---|---|")
        for n, size, tool, look, tool1, look1 in rows:
            print("| %d | %.0f | %.0f | %.0f | %.2f | %.0f | %.0f | %.2f | %.1f |" % (
                n, size / 2**20, tool, look, tool / look, tool1, look1, tool1 / look1,
                tool * 1e3 / n))
        print("\nload average before %.1f %.1f %.1f, after %.1f %.1f %.1f (%d processors)"
              % (load_before + load_after + (threads,)))
    finally:
        if not a.keep:
            shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
