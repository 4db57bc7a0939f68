#!/usr/bin/env python3
"""Deterministic corpora for the benchmarks.

a: a typical project, ~300 files and ~6 MiB, one profiler call per ~150 lines
b: a large one, 1000 files of ~48 KiB, one call per ~1000 lines
c: one 200 MiB file, one call per ~5000 lines
d: real headers from this machine (/usr/include), 1000 of them, copied so
   that every tool reads the same files (the tool lists at most 1024)
e: code that mentions the profiler everywhere: as b, with a near miss about
   every 100 bytes (event and timeline ends, fields and flags, log strings,
   includes) and real calls at b's rate

Usage: gen_corpus.py <output folder> [a b c d e]
"""
import os
import random
import shutil
import sys

CALLS = [
    "profiler_initialize", "profiler_timeline_initialize", "profiler_timeline_id_declaration",
    "profiler_timeline_set_id", "profiler_timeline_set_id_for_index", "profiler_event_start",
    "profiler_collapsable_start",
]
WORDS = ["int", "count", "value", "buffer", "result", "frame", "render", "update", "index",
         "size", "data", "state", "return", "if", "for", "while", "const", "struct", "static",
         "uint32_t", "pointer", "length", "config", "profile_window", "prof_", "p"]


# What real code that uses the profiler says besides the seven calls.
NEAR_MISSES = ["profiler_event_end();", "profiler_timeline_end();", "p->profiler_enabled = 1;",
               "log(\"profiler_ frame %d\", n);", "#include \"profiler.h\"",
               "if (profiler_enabled) {", "profiler_flags |= PROFILER_ON;"]


def source_text(rng, target_bytes, lines_per_call, ids, near_misses=0.0):
    out = []
    size = 0
    line = 0
    while size < target_bytes:
        line += 1
        if line % lines_per_call == 0:
            call = rng.choice(CALLS)
            extra = ", 2" if call.endswith("for_index") else ""
            text = "    %s( %s%s );\n" % (call, rng.choice(ids), extra)
            if "start" in call:
                # As in real code: every event that starts also ends.
                text += "    profiler_event_end();\n"
        else:
            indent = " " * (4 * rng.randint(0, 3))
            text = indent + " ".join(rng.choice(WORDS) for _ in range(rng.randint(2, 9))) + ";\n"
            if rng.random() < near_misses:
                text = indent + rng.choice(NEAR_MISSES) + " " + text.lstrip()
        out.append(text)
        size += len(text)
    return "".join(out)


def write_tree(root, rng, files, file_bytes, lines_per_call, extensions, folders, near_misses=0.0):
    ids = ["id_%d_%s" % (i, rng.choice(WORDS)) for i in range(600)]
    for i in range(files):
        folder = os.path.join(root, "src", "mod%02d" % (i % folders))
        os.makedirs(folder, exist_ok=True)
        name = "file%04d.%s" % (i, extensions[i % len(extensions)])
        with open(os.path.join(folder, name), "w") as f:
            f.write(source_text(rng, file_bytes, lines_per_call, ids, near_misses))


def make(kind, root):
    rng = random.Random(20261208 + ord(kind))
    if os.path.isdir(root):
        shutil.rmtree(root)
    os.makedirs(root)
    if kind == "a":
        write_tree(root, rng, 300, 20 * 1024, 150, ["c", "h", "cpp", "hpp", "c"], 12)
    elif kind == "b":
        # Calls rarer than in a: every occurrence takes a table slot, and both
        # tools must find the same ids, so the run stays under 2048 per table.
        write_tree(root, rng, 1000, 48 * 1024, 1000, ["c", "cpp", "h"], 20)
    elif kind == "c":
        ids = ["big_%d" % i for i in range(1500)]
        with open(os.path.join(root, "huge.c"), "w") as f:
            written = 0
            while written < 200 * 1024 * 1024:
                chunk = source_text(rng, 4 * 1024 * 1024, 5000, ids)
                f.write(chunk)
                written += len(chunk)
    elif kind == "e":
        # Lines average about 45 bytes: a near miss on 70% of them (some hold two) is one
        # per ~100 bytes; lines are longer, so calls come every 700 lines, about one
        # per file as in b.
        write_tree(root, rng, 1000, 48 * 1024, 700, ["c", "cpp", "h"], 20, near_misses=0.7)
    elif kind == "d":
        headers = []
        for folder, dirs, names in os.walk("/usr/include"):
            dirs.sort()
            for name in sorted(names):
                path = os.path.join(folder, name)
                if name.endswith(".h") and os.path.isfile(path) and not os.path.islink(path):
                    headers.append(path)
        for path in headers[:1000]:
            target = os.path.join(root, os.path.relpath(path, "/usr/include"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(path, target)


if __name__ == "__main__":
    out = sys.argv[1]
    for kind in sys.argv[2:] or ["a", "b", "c", "d", "e"]:
        make(kind, os.path.join(out, kind))
