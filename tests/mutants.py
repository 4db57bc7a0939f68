#!/usr/bin/env python3
"""Mutation check of the test suite, run by hand (it takes minutes).

Each mutant is one plausible one-line fault. The script copies the working
tree to a scratch folder, builds it once, then applies one mutant at a time,
rebuilds, runs the fast tests (unit and end-to-end on Linux; the Windows
suite under Wine for mutants of the Windows layer) and says whether the
suite killed it. A surviving mutant needs a test, or a note here saying why
it cannot change what the program does.

The tests run with TMPDIR set to a folder inside the scratch folder, so
what a killed mutant's tests leave behind is removed from there, and the
folders of other test runs on the machine are never touched.

    python3 tests/mutants.py [--only SUBSTRING]... [--keep]
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

FAST = "fast"  # unit tests and the Linux end-to-end suite
WINE = "wine"  # the Windows end-to-end suite under Wine
# Mutants of the build files (CMake, MSBuild, presets) name the one
# package test that runs them: "package.msbuild", "package.msvc.presets".

# (file, text, replacement, suite, why it is equivalent or None). The text
# must stand exactly once in the file.
MUTANTS = [
    # The call scanner.
    ("tool/scan_search.h", "== SEARCH_PREFIX_WORD && p[8] == '_';", "== SEARCH_PREFIX_WORD;", FAST, None),
    ("tool/scan.cpp", "cursor = found + PREFIX_LENGTH;", "cursor = found + PREFIX_LENGTH + 1;", FAST,
     "equivalent: a candidate that gets here has a call's tail or too few bytes left, so no call starts right after its prefix"),
    ("tool/scan_search.cpp", "_mm_cmpeq_epi8(tails, _mm_set1_epi8(SEARCH_PAIR_LAST))", "_mm_cmpeq_epi8(tails, _mm_set1_epi8('p'))", FAST, None),
    ("tool/scan_search.cpp", "const uint8_t* candidate = p + search_lowest_bit(mask);", "const uint8_t* candidate = p + search_lowest_bit(mask) + 1;", FAST, None),
    ("tool/scan_avx2.cpp", "_mm256_cmpeq_epi8(tails, _mm256_set1_epi8(SEARCH_PAIR_LAST))", "_mm256_cmpeq_epi8(tails, _mm256_set1_epi8('q'))", FAST, None),
    ("tool/scan_avx2.cpp", "_mm256_cmpeq_epi8(thirds, _mm256_set1_epi8(SEARCH_THIRD_OTHER))", "_mm256_cmpeq_epi8(thirds, _mm256_set1_epi8('t'))", FAST, None),
    ("tool/scan_avx2.cpp", "const uint8_t* candidate = q + search_lowest_bit(mask);", "const uint8_t* candidate = q + search_lowest_bit(mask) + 1;", FAST, None),
    ("tool/scan_avx2.cpp", "            q += 128;", "            q += 129;", FAST, None),
    ("tool/scan_avx2.cpp", "if (!_mm256_testz_si256(any, any)) break;", "if (0) break;", FAST, None),
    ("tool/scan_avx2.cpp", "const int64_t DENSE_STRETCH = 512;", "const int64_t DENSE_STRETCH = 0;", FAST, None),
    # The filters' words and bytes are checked against every call when compiling (a change that
    # drops a call does not build); these change what runs without the check seeing it.
    ("tool/scan_search.h", "return search_tail_passes(tail);", "return tail != SEARCH_TAIL_COLLAPSABLE && search_tail_passes(tail);", FAST, None),
    ("tool/scan_search.cpp", "(const __m128i*)(p + SEARCH_THIRD_OFFSET)", "(const __m128i*)(p + SEARCH_THIRD_OFFSET + 1)", FAST, None),
    ("tool/scan.cpp", "scan->target = call < CALL_FIRST_EVENT ?", "scan->target = call <= CALL_FIRST_EVENT ?", FAST, None),
    ("tool/scan.cpp", "(n > SCAN_KEEP_MAX ? n - SCAN_KEEP_MAX : 0)", "(n > SCAN_KEEP_MAX ? n - SCAN_KEEP_MAX + 1 : 0)", FAST, None),
    ("tool/scan.cpp", "            if (cursor == end && !last) return n;\n            identifier_end(scan);",
     "            if (cursor == end) return n;\n            identifier_end(scan);", FAST, None),
    ("tool/scan.cpp", "data_rewind(scan->store.arena, scan->id_mark);", "", FAST, None),
    ("base/chars.h", "return c == '_' || char_is_alnum(c);", "return char_is_alnum(c);", FAST, None),
    ("base/chars.h", "(c >= 0x09 && c <= 0x0D)", "(c >= 0x09 && c < 0x0D)", FAST, None),
    # The threaded scan.
    ("tool/scan_files.cpp", "if (outcome->events_dropped != 0 && events->count < events->capacity) return 0;", "", FAST, None),
    ("tool/scan_files.cpp", "t->data < e->data", "t->data > e->data", FAST, None),
    ("tool/scan_files.cpp", "if (failed) mark_restore(&before, store);", "", FAST, None),
    ("tool/scan_files.cpp", "if (report->unreadable++ != 0) return;", "if (report->unreadable++ != 1) return;", FAST, None),
    ("tool/scan_files.cpp", "bytes_copy(buffer->data, buffer->data + consumed, kept); // forward", "", FAST, None),
    ("tool/scan_files.cpp", "bytes_copy(buffer->data, buffer->data + consumed, kept); // as scan_file does", "", FAST, None),
    ("tool/scan_files.cpp", "if (w->timelines.lost != 0 || w->events.lost != 0) {", "if (w->timelines.lost != 0) {", FAST, None),
    ("tool/scan.h", "const uint64_t SCAN_KEEP_MAX = call_longest() - 1;", "const uint64_t SCAN_KEEP_MAX = call_longest() - 2;", FAST, None),
    ("tool/scan_files.cpp", "return id_store_t{&w->scratch, &w->timelines, &w->events};", "return id_store_t{&w->scratch, &w->events, &w->timelines};", FAST, None),
    ("tool/scan_files.cpp", "    scan.workers = workers;\n", "", FAST, None),
    ("tool/scan_files.cpp", "if (!scan || !scan->workers) return;", "if (!scan) return;", FAST, None),
    ("tool/scan_files.cpp", "    workers_release(scan->workers);\n    scan->workers = nullptr;", "    workers_release(scan->workers);", FAST, None),
    ("tool/scan_files.cpp", "if (is_output && !report.output_scanned) {", "if (is_output) {", FAST, None),
    ("tool/scan_files.cpp", "report.output_index = i;", "report.output_index = 0;", FAST, None),
    ("tool/driver.cpp", "    run->output_index = report.output_index;\n", "", FAST, None),
    # The header writer.
    ("tool/header.cpp", "for (uint64_t v = value; v >= 10; v /= 10)", "for (uint64_t v = value; v > 10; v /= 10)", FAST, None),
    ("tool/header.cpp", "(i + 1) % 20 != 0 ?", "i % 20 != 0 ?", FAST, None),
    ("tool/header.cpp", "uint64_t longest = kind.longest_fixed;", "uint64_t longest = 0;", FAST, None),
    ("tool/header.cpp", "if (spells(name, kind.enumerator, id)) return 1;", "if (0) return 1;", FAST, None),
    ("tool/header.cpp", "if (data_equal(&table->records[kept[slot] - 1], record)) {", "if (0) {", FAST, None),
    ("tool/header.cpp", "if (is_fixed(*KINDS[events != 0], &table->records[i])) table->records[i].used = 0;", ";", FAST, None),
    # The driver, its messages and the dependency file.
    ("tool/driver.cpp", "if (report_warnings_as_errors() != 0) return 1;", "", FAST, None),
    # A search that found no file.
    ("tool/driver.cpp", "if (run->list.count == 0 && run->doubts == 0) warn_nothing_found(o.filter);", "if (run->list.count == 0) warn_nothing_found(o.filter);", FAST, None),
    ("tool/driver.cpp", "if (run->list.count == 0 && run->doubts == 0) warn_nothing_found(o.filter);", "if (run->list.count < 2 && run->doubts == 0) warn_nothing_found(o.filter);", FAST, None),
    ("tool/driver.cpp", "        if (i != 0) m.add(\",\");\n        m.escaped(filter.extensions[i]);", "        m.escaped(filter.extensions[i]);", FAST, None),
    # Files the threads and then the driver could not open for want of handles.
    ("tool/driver.cpp", "if (report.starved != 0) {", "if (0) {", FAST, None),
    ("tool/driver.cpp", "report.starved_error, report.starved,", "report.starved_error, report.unreadable,", FAST, None),
    ("tool/driver.cpp", "report.first_starved, report.starved_error", "report.first_starved, report.unreadable_error", FAST, None),
    ("tool/scan_files.cpp", "if (file_error_is_resource(error)) {", "if (0) {", FAST, None),
    # Empty values and the length of a list.
    ("tool/options.cpp", "if (value.data) error_empty_value(o, option);", "", FAST, None),
    ("tool/options.cpp", "    o->unknown += 1;\n}", "}", FAST, None),
    ("tool/options.cpp", "        error_empty_value(o, OPTION_DIRECTORY);\n", "", FAST, None),
    ("tool/options.cpp", "if (count > DIR_LIST_ITEMS) {", "if (count >= DIR_LIST_ITEMS) {", FAST, None),
    ("tool/options.cpp", "const uint32_t kept = count > DIR_LIST_ITEMS ? DIR_LIST_ITEMS : count;", "const uint32_t kept = count >= DIR_LIST_ITEMS ? DIR_LIST_ITEMS - 1 : count;", FAST, None),
    ("tool/options.cpp", "list_split(&text, split, DIR_LIST_ITEMS + 1);", "list_split(&text, split, DIR_LIST_ITEMS);", FAST, None),
    ("tool/options.cpp", "m.quoted(split[DIR_LIST_ITEMS]);", "m.quoted(split[DIR_LIST_ITEMS - 1]);", FAST, None),
    # The folders a dependency file lists, and the output's name in it.
    ("tool/driver.cpp", "if (run->list.folders_lost != 0) {", "if (0) {", FAST, None),
    ("tool/driver.cpp", "const uint32_t DEPFILE_FOLDER_CAPACITY = 4096;", "const uint32_t DEPFILE_FOLDER_CAPACITY = 4095;", FAST, None),
    ("base/dir.cpp", "uint8_t* copy = list->folder_count < list->folder_capacity", "uint8_t* copy = list->folder_count <= list->folder_capacity", FAST, None),
    ("base/dir.cpp", "uint8_t* copy = list->folder_count < list->folder_capacity", "uint8_t* copy = list->folder_count + 1 < list->folder_capacity", FAST, None),
    ("tool/depfile.cpp", "    out.path(target.data, target.used);", "    out.bytes(target.data, target.used);", FAST, None),
    # --check, and an output found among the sources.
    ("tool/driver.cpp", "        report_error(\"--check compares with an output file; -o - has none\");\n        return 1;", "", FAST, None),
    ("tool/driver.cpp", "if (same == -1) {", "if (same == -2) {", FAST, None),
    ("tool/guard.cpp", "const int ours_or_empty = n == 0 || (n > 0 && starts_as_a_header(start, (uint64_t)n));", "const int ours_or_empty = n > 0 && starts_as_a_header(start, (uint64_t)n);", FAST, None),
    ("tool/report.cpp", "if (length != 0 && !is_control(*p)) {", "if (length != 0) {", FAST, None),
    ("tool/report.cpp", "return c < 0x20 || c == 0x7F;", "return c < 0x20;", FAST, None),
    ("tool/report.cpp", "return c < 0x20 || c == 0x7F;", "return c < 0x1F || c == 0x7F;", FAST, None),
    ("tool/report.cpp", "return c < 0x20 || c == 0x7F;", "return c <= 0x20 || c == 0x7F;", FAST, None),
    ("tool/report.cpp", "FORMAT_HEX | FORMAT_NO_PREFIX | FORMAT_MIN_DIGITS_2", "FORMAT_HEX | FORMAT_NO_PREFIX", FAST, None),
    ("tool/depfile.cpp", "if (c == ' ' || c == '#') bytes(", "if (c == ' ') bytes(", FAST, None),
    # All or nothing: the dependency file's names and checks, outputs the search lists.
    ("tool/depfile.cpp", "            if (c == '$') bytes(\"$\", 1);\n", "", FAST, None),
    ("tool/depfile.cpp", "    case '-':\n", "", FAST, None),
    ("tool/depfile.cpp", "        return !(readers & DEPFILE_FOR_MAKE);", "        return 1;", FAST, None),
    ("tool/depfile.cpp", "        return !(readers & DEPFILE_FOR_MAKE);", "        return 0;", FAST, None),
    ("tool/depfile.cpp", "const int make = (readers & DEPFILE_FOR_MAKE) != 0;", "const int make = 1;", FAST, None),
    ("tool/options.cpp", "o->depfile_readers = data_equal(&readers, &ninja)  ? DEPFILE_FOR_NINJA", "o->depfile_readers = 0 ? DEPFILE_FOR_NINJA", FAST, None),
    ("tool/depfile.cpp", "    case '~':\n", "    case '*':\n", FAST, None),
    ("tool/depfile.cpp", "if (c >= 0x80) return 1;", "if (c > 0x80) return 1;", FAST, None),
    ("tool/depfile.cpp", "if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return 1;", "if ((c | 0x20) >= 'a' && (c | 0x20) < 'z') return 1;", FAST, None),
    ("tool/depfile.cpp", "name[i] == '#' || name[i] == '$';", "name[i] == '$';", FAST, None),
    ("tool/depfile.cpp", "name[i] == '#' || name[i] == '$';", "name[i] == '#';", FAST, None),
    ("tool/depfile.cpp", "if (c == '\\\\' && (slash_instead || !backslashes_misread(name, length, i))) continue;", "if (c == '\\\\') continue;", FAST, None),
    ("tool/depfile.cpp", "if (c == '\\\\' && backslashes_misread(text, n, i)) c = '/';", "", WINE, None),
    ("tool/depfile.cpp", "const uint64_t drive = dir_drive_length(name, length);", "const uint64_t drive = 0;", WINE, None),
    ("tool/depfile.cpp", "if (n != 0 && dir_drive_length(text, n) == n) bytes(\".\", 1);", "", WINE, None),
    ("tool/depfile.cpp", "if ((make && drive < length && name[drive] == '~') || name[length - 1] == ' ') return 0;", "if (name[length - 1] == ' ') return 0;", FAST, None),
    ("tool/depfile.cpp", "if ((make && drive < length && name[drive] == '~') || name[length - 1] == ' ') return 0;", "if (make && drive < length && name[drive] == '~') return 0;", FAST, None),
    ("tool/depfile.cpp", "if (!check(target.data, target.used) || !for_each_path(list, skipped, extra, check))", "if (!for_each_path(list, skipped, extra, check))", FAST, None),
    ("tool/depfile.cpp", "if (i != skipped && list.paths[i] &&", "if (list.paths[i] &&", FAST, None),
    ("tool/depfile.cpp", "if (!each(list.folders[i], text_length(list.folders[i]))) return 0;", "each(list.folders[i], text_length(list.folders[i]));", FAST,
     "survives: a folder's name stands in the path of every file listed in it, so only an empty folder with a bad name shows the difference; no row has one"),
    ("tool/depfile.cpp", "if (!line.found || line.length < 2 || line.begin[0] == ' ') return 0;", "if (!line.found || line.length < 2) return 0;", FAST, None),
    ("tool/depfile.cpp", "        if (!line.found || line.length != 0) return 0;", "        if (!line.found) return 0;", FAST, None),
    ("tool/depfile.cpp", "            line.begin[2] == ' ')", "            0)", FAST, None),
    ("tool/depfile.cpp", "        if (!bytes_equal(prerequisite.begin + 2, n, line.begin, line.length - 1)) return 0;\n", "", FAST, None),
    ("tool/depfile.cpp", "    return listed == rules;\n}", "    return 1;\n}", FAST, None),
    ("tool/driver.cpp", "const uint32_t itself = run.output_scanned && !stamp ? run.output_index : UINT32_MAX;", "const uint32_t itself = UINT32_MAX;", FAST, None),
    # A stamp's dependency file for make lists the header; the build integrations.
    ("tool/driver.cpp", "o.depfile_readers == DEPFILE_FOR_MAKE && !data_equal(", "(o.depfile_readers & DEPFILE_FOR_MAKE) && !data_equal(", FAST, None),
    ("tool/driver.cpp", "DEPFILE_FOR_MAKE && !data_equal(&o.depfile_target, &o.output);", "DEPFILE_FOR_MAKE;", FAST, None),
    ("tool/driver.cpp", "run.output_scanned && !stamp ?", "run.output_scanned ?", FAST, None),
    ("tool/driver.cpp", "stamp && !run.output_scanned ? o.output : none;", "stamp ? o.output : none;", FAST, None),
    ("tool/depfile.cpp", "return extra.used == 0 || each(extra.data, extra.used);", "return 1;", FAST, None),
    ("cmake/tagloomsmith_functions.cmake", "cmake_policy(SET CMP0116 OLD)\n", "", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "--depfile-target \"${target}\"", "--depfile-target \"${stamp}\"", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "set(readers --depfile-for make)", "set(readers)", "package.fetchcontent.Unix_Makefiles", None),
    ("README.md", "--depfile-target $@ --depfile-for make", "--depfile-target $@", "package.makefile", None),
    ("README.md", "-MMD -MP -c", "-MMD -c", "package.makefile", None),
    ("cmake/tagloomsmith_functions.cmake", "            set(target \"${stamp}\")\n", "", "package.fetchcontent.Unix_Makefiles",
     "equivalent: the Makefiles generators take the file's prerequisites for the step's output, whatever target it names"),
    # Ninja's depfile line, build folders' CMakeFiles, and names make cannot read back.
    ("cmake/tagloomsmith_functions.cmake", "DEPFILE \"${build_depfile}\"", "DEPFILE \"${depfile}\"", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "            set(build_depfile \"${depfile}\")\n", "", "package.fetchcontent.Unix_Makefiles", None),
    ("cmake/tagloomsmith_functions.cmake", "    list(APPEND folders \"${CMAKE_BINARY_DIR}/CMakeFiles\")\n", "", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "set(${out} ${inside} PARENT_SCOPE)", "set(${out} CMakeFiles ${inside} PARENT_SCOPE)", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "if(NOT bad STREQUAL \"\")", "if(FALSE)", "package.fetchcontent.Unix_Makefiles", None),
    # Folders holding a marker (build folders made later) are left out.
    ("base/dir.cpp", "    if (holds_marker(&sub, walk->filter)) return;\n", "", FAST, None),
    ("base/dir.cpp", "    if (filter->marker.used == 0) return 0;\n", "", FAST, None),
    ("base/dir.cpp", "return platform_path_info((const char*)probe.data, &info) && info.kind != PLATFORM_PATH_MISSING;", "return platform_path_info((const char*)probe.data, &info);", FAST, None),
    ("base/dir.cpp", "    if (needs_separator(&probe) && !data_append_byte(&probe, PLATFORM_SEPARATOR)) return 0;\n", "", FAST, None),
    ("tool/options.cpp", "    o->filter.marker = option_value(o, OPTION_SKIP_FOLDERS_WITH);\n", "", FAST, None),
    ("cmake/tagloomsmith_functions.cmake", "--skip-folders-with CMakeCache.txt ", "", "package.fetchcontent.Ninja", None),
    ("README.md", "  depfile = $out.d\n  restat = 1", "  depfile = $out.d\n  deps = gcc\n  restat = 1", "package.ninja", None),
    ("tool/driver.cpp", "    if (o.depfile.used != 0 && !write_depfile(o, *run, header)) return 1;\n    if (!replace_file(o.output, header)) return 1;",
     "    if (!replace_file(o.output, header)) return 1;\n    if (o.depfile.used != 0 && !write_depfile(o, *run, header)) return 1;", FAST, None),
    ("tool/options.cpp", "    if (o->depfile_target.used == 0) o->depfile_target = o->output;\n", "", FAST, None),
    ("tool/guard.cpp", "if (ours_or_empty || !(scanned || listed(search, path))) return 1;", "if (ours_or_empty || !listed(search, path)) return 1;", FAST,
     "equivalent but for bind mounts: a file the scan read under the output's identity is a listed path behind a link (listed by the final path) or has other names (refused before)"),
    ("tool/guard.cpp", "if (ours_or_empty || !(scanned || listed(search, path))) return 1;", "if (ours_or_empty || !scanned) return 1;", FAST, None),
    ("tool/guard.cpp", "            dir_would_list(directory, &path.final_path, search.filter, search.flags))", "            0)", FAST, None),
    ("tool/guard.cpp", "if (file_path_links((const char*)path.final_path.data) > 1 && (n <= 0 || !ours_or_empty))", "if (0)", FAST, None),
    ("tool/guard.cpp", "    if (dir_same_entry(&path.given, &output_path.given) ||\n        dir_same_entry(&path.final_path, &output_path.final_path))", "    if (dir_same_entry(&path.given, &output_path.given))", FAST, None),
    ("tool/guard.cpp", "    if (listed(search, path))\n", "    if (0)\n", FAST, None),
    ("tool/guard.cpp", "file_path_links((const char*)path.final_path.data) == 1;", "1;", FAST, None),
    ("tool/guard.cpp", "    if (ours || empty) return 1;", "    if (ours) return 1;", FAST, None),
    ("base/file.cpp", "if (!platform_path_info(path, &info) || info.kind != PLATFORM_PATH_FILE) return 0;", "if (!platform_path_info(path, &info)) return 0;", FAST, None),
    ("base/dir.cpp", "            return (up == 0 || flag_given(flags, WALK_RECURSIVE)) &&", "            return 1 &&", FAST, None),
    ("base/dir.cpp", "            return (up == 0 || flag_given(flags, WALK_RECURSIVE)) &&", "            return (up == 0) &&", FAST, None),
    ("base/dir.cpp", "                   !folder_excepted(path, folder, up, filter);", "                   1;", FAST, None),
    ("base/dir.cpp", "                   !folder_excepted(path, folder, up, filter);", "                   !folder_excepted(path, folder, up + 1, filter);", FAST, None),
    ("base/dir.cpp", "if (up != 0 && same_file(at, before)) return 0; // the top", "if (0) return 0; // the top", FAST,
     "equivalent: past the top every \"..\" is the top again, so the climb ends at its limit, only later; the answer there is the conservative one"),
    ("base/dir.cpp", "if (name.used == 0 || !dir_file_passes(filter, &name)) return 0;", "if (name.used == 0) return 0;", FAST, None),
    ("base/dir.cpp", "    if (fa == 0) first[0] = '.', first[1] = 0;\n", "", FAST, None),
    ("tool/report.cpp", "if (controls_only && length == 0 && !is_control(*p)) length = 1;", "", FAST, None),
    ("tool/report.cpp", "    path.escaped(output, 1);", "    path.add(output);", FAST, None),
    # A quoted empty argument on a Windows command line; arguments beyond the pointers.
    ("base/command_line.cpp", "                w->open = 0;\n", "", FAST, None),
    ("base/command_line.cpp", "if (w.open || w.out[-1] != 0) *w.out++ = 0;", "if (w.out[-1] != 0) *w.out++ = 0;", FAST, None),
    ("base/command_line.cpp", "if (!separator) w->begin_argument();", "if (!separator && code_point != '\"') w->begin_argument();", FAST, None),
    ("base/command_line.cpp", "array_bytes + 8 * (uint64_t)w.count > w.limit) return nullptr;", "array_bytes + 8 * (uint64_t)w.count >= w.limit) return nullptr;", FAST, None),
    ("base/command_line.cpp", "    if (!array) *result = COMMAND_LINE_LIMIT;\n", "", FAST, None),
    # Limits raised, places of ids, --list, --diagnostics.
    ("tool/id_table.cpp", "table->count < table->capacity ? data_append", "table->count <= table->capacity ? data_append", FAST, None),
    ("tool/id_table.cpp", "if (table->count >= table->capacity)", "if (table->count > table->capacity)", FAST, None),
    ("tool/scan.cpp", "scan->target->count < scan->target->capacity ? ID_STORING", "scan->target->count <= scan->target->capacity ? ID_STORING", FAST, None),
    ("tool/scan.cpp", "scan->place_next < scan->place_count && scan->target == scan->place_table", "scan->place_next < scan->place_count", FAST, None),
    ("tool/scan.cpp", "scan->target->dropped + scan->target->lost == place->ordinal", "scan->target->dropped + scan->target->lost <= place->ordinal", FAST, None),
    ("tool/scan.cpp", "    scan->fed += consumed;\n", "", FAST, None),
    ("tool/scan_files.cpp", "if (byte != '\\n') {", "if (byte != '\\r') {", FAST, None),
    ("tool/scan_files.cpp", "places[placed].character = at.characters + 1;", "places[placed].character = at.characters;", FAST, None),
    ("tool/scan_files.cpp", "places[placed].column = at.display + 1;", "places[placed].column = at.display;", FAST, None),
    ("tool/scan_files.cpp", "        table->files[k] = i;", "        table->files[k] = 0;", FAST, None),
    ("tool/scan_files.cpp", "if (outcome->timelines_dropped != 0 && timelines->count < timelines->capacity) return 0;", "", FAST, None),
    ("tool/scan_files.cpp", "                         setup.id_capacity))", "                         ID_TABLE_CAPACITY))", FAST,
     "equivalent: a worker with smaller tables drops ids the caller has room for, and the caller then scans that file itself (replay returns 0)"),
    # An id placed pieces after it began.
    ("tool/scan_files.cpp", "const int began_before = places[placed].offset == open_at;", "const int began_before = 0;", FAST, None),
    ("tool/scan_files.cpp", "if (open != SCAN_NONE_OPEN && open != open_at) {", "if (open != SCAN_NONE_OPEN) {", FAST, None),
    ("tool/scan_files.cpp", "            count_to(open);\n", "", FAST, None),
    ("tool/scan.cpp", "return scan->phase == SCAN_IDENTIFIER ? scan->id_offset", "return scan->phase == SCAN_SPACES ? scan->id_offset", FAST, None),
    ("tool/places.cpp", "while (first > 0 && table->files[first - 1] == table->files[index])", "while (first > 0)", FAST, None),
    ("tool/places.cpp", "    if (table->count == 0) return 1;\n", "", FAST, None),
    ("tool/report.cpp", "    if (place.line == 0) return fitted; //", "    if (place.line != 0) return fitted; //", FAST, None),
    ("tool/report.cpp", "    if (place.line == 0) return fitted; //", "    //", FAST, None),
    ("tool/header.cpp", "const uint64_t capacity = table->slots ? table->capacity : ID_TABLE_CAPACITY;", "const uint64_t capacity = ID_TABLE_CAPACITY;", FAST, None),
    ("tool/report.cpp", "const uint8_t opening = form == REPORT_MSVC ? '(' : ':';", "const uint8_t opening = '(';", FAST, None),
    ("tool/report.cpp", "if (form == REPORT_MSVC) fitted &= data_append_byte(text, ')') != nullptr;", "", FAST, None),
    ("tool/options.cpp", "value = c >= '0' && c <= '9' ? value * 10", "value = c <= '9' ? value * 10", FAST, None),
    ("tool/options.cpp", "if (value >= 1 && value <= most) return value;", "if (value <= most) return value;", FAST, None),
    ("tool/options.cpp", "if (value >= 1 && value <= most) return value;", "if (value >= 1 && value < most) return value;", FAST, None),
    ("tool/driver.cpp", "+ 2 * o.max_ids * BYTES_PER_ID;", ";", FAST, None),
    ("tool/driver.cpp", "+ 2 * o.max_ids * BYTES_PER_ID;", "+ o.max_ids * BYTES_PER_ID;", FAST,
     "survives: the table test fills the timeline table alone, whose ids fit in half the room"),
    ("tool/driver.cpp", "sizeof(uint32_t) + 4 * sizeof(uint32_t) + ID_ROOM;", "sizeof(uint32_t) + 4 * sizeof(uint32_t) + 512;", FAST, None),
    ("tool/driver.cpp", "const uint64_t BYTES_PER_FILE = FILE_ENTRY_BYTES + DIR_PATH_CAPACITY;", "const uint64_t BYTES_PER_FILE = FILE_ENTRY_BYTES + 512;", FAST,
     "survives: only some 20,000 files with paths of 1,000 bytes pass the old room (measured by hand: out of working memory before, a header after); no test makes so many"),
    ("tool/driver.cpp", "    if (o.depfile.used != 0) size += folder_capacity(o) * BYTES_PER_FOLDER;\n", "", FAST,
     "survives: as the files' paths, only tens of thousands of folders with long paths show it"),
    ("tool/driver.cpp", "if (o.max_files <= FILE_LIST_CAPACITY && o.max_ids <= ID_TABLE_CAPACITY) return ARENA_SIZE;", "", FAST,
     "survives: a default run would take 10.7 MiB instead of 10, said as the same 10 MiB when refused; memory use alone shows it (measured: peak RSS is the same)"),
    ("tool/driver.cpp", "return size > ARENA_SIZE ? size : ARENA_SIZE;", "return size;", FAST, None),
    ("tool/driver.cpp", "if (o.max_files <= FILE_LIST_CAPACITY && o.max_ids", "if (o.max_files < FILE_LIST_CAPACITY && o.max_ids", FAST,
     "survives: a run at the default file limit would size its memory from the limits, 10.7 MiB instead of 10 (never less: the default is the floor), said as the same 10 MiB when refused; only address space shows it"),
    # Texts made after the scan take a block of their own when the arena's rest is too small.
    ("tool/driver.cpp", "        if (make(block)) return 1;\n        if (block->data != rest) data_os_free(block);", "        if (make(block)) return 1;\n        return 0;", FAST, None),
    ("tool/driver.cpp", "        if (block->data != rest) data_os_free(block);\n", "", FAST,
     "equivalent: a block outgrown stays until the process ends; memory use alone shows it"),
    ("tool/driver.cpp", "        return made.outcome != DEPFILE_FULL;", "        return 1;", FAST,
     "survives: no test makes a dependency file larger than what the arena leaves"),
    ("tool/places.cpp", "!bytes_equal(table->records[i].data, table->records[i].size, id.data, id.used))", "!bytes_equal(table->records[i].data, table->records[i].used, id.data, id.used))", FAST,
     "survives: a list made again after pruning loses the place of a fixed id the sources use; no test has both a list too large for the arena and such an id"),
    ("tool/driver.cpp", "message_t m(MESSAGE_ERROR, placed ? &place : nullptr);", "message_t m(MESSAGE_ERROR, nullptr);", FAST, None),
    ("tool/options.cpp", "    } else if (data_equal(&form, &msvc)) {", "    } else if (data_equal(&form, &gcc)) {", FAST, None),
    ("tool/driver.cpp", "        m.add(list.capacity);", "        m.add(FILE_LIST_CAPACITY);", FAST, None),
    ("tool/driver.cpp", "m.add(capacity);\n    m.add(\" \");", "m.add(ID_TABLE_CAPACITY);\n    m.add(\" \");", FAST, None),
    # Unknown arguments, --help, --check's codes and what it says.
    ("tool/options.cpp", "const uint8_t change = a.data[i - 1] != b.data[j - 1];", "const uint8_t change = 1;", FAST, None),
    ("tool/options.cpp", "if (i > 1 && j > 1 && a.data[i - 1] == b.data[j - 2] &&", "if (0 && a.data[i - 1] == b.data[j - 2] &&", FAST, None),
    ("tool/options.cpp", "if (d <= (name.used <= 4 ? 1u : 2u) && d <= least) {", "if (d <= 2u && d <= least) {", FAST, None),
    ("tool/options.cpp", "if (best != OPTION_COUNT && ties == 1 && best != split) return best;", "if (best != OPTION_COUNT && best != split) return best;", FAST, None),
    ("tool/options.cpp", "return starts == 1 ? started : (uint32_t)OPTION_COUNT;", "return starts >= 1 ? started : (uint32_t)OPTION_COUNT;", FAST, None),
    ("tool/options.cpp", "if (word.used == 0) return OPTION_COUNT;", "", FAST, None),
    ("tool/options.cpp", "if (best != OPTION_COUNT && name.used <= option_name(best).used)", "if (0)", FAST, None),
    ("tool/options.cpp", "if (value->data[0] == '=') {", "if (0) {", FAST, None),
    ("tool/options.cpp", "if (best != OPTION_COUNT && ties == 1 && best != split) return best;", "if (best != OPTION_COUNT && ties == 1) return best;", FAST, None),
    ("tool/options.cpp", "if (best != OPTION_COUNT && ties == 1 && best != split) return best;", "if (0) return best;", FAST, None),
    # --list: one read per file.
    ("tool/places.cpp", "run = i != 0 && table->files[i] == table->files[i - 1] ? run + 1 : 1;", "run = i != 0 && table->files[i] == table->files[i - 1] ? run + 1 : 0;", FAST, None),
    ("tool/places.cpp", "if (count == capacity || (count != 0 && start != first)) {", "if (count == capacity) {", FAST, None),
    ("tool/places.cpp", "if (i == 0 || table->files[i] != table->files[i - 1]) start = i;", "if (i == 0) start = i;", FAST, None),
    ("tool/places.cpp", "(out->size - out->used) / 2 / sizeof(scan_place_t);", "(out->size - out->used) / 2 / sizeof(scan_place_t) / 1000000;", FAST,
     "survives: a block too small for one place fails the list, and make_text grows the block until it holds one; only memory use shows it"),
    ("tool/places.cpp", "    out->size = size;\n    return fitted;", "    return fitted;", FAST,
     "survives: the block is restored for the event table's lines, which fit in what the timeline table's places left of it unless the block is all but full; no test fills it so"),
    # Columns as gcc and Visual Studio count them.
    ("base/utf.cpp", "if (code_point < 0x300) return 1;", "if (code_point <= 0x300) return 1;", FAST, None),
    ("base/utf.cpp", "count_character(columns, 8 - columns->display % 8, 1);", "count_character(columns, 8 - columns->display, 1);", FAST, None),
    ("base/utf.cpp", "code_point >= 0x10000 ? 2 : 1);", "code_point >= 0x100000 ? 2 : 1);", FAST, None),
    ("base/utf.cpp", "if (columns->held_count != 0 && (byte & 0xC0) != 0x80) count_held_bytes(columns);", "", FAST, None),
    ("base/utf.cpp", "lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3", "lead >= 0xF0 ? 3 : lead >= 0xE0 ? 3", FAST, None),
    ("base/utf.cpp", "code_point <= ranges[i].last) return 1;", "code_point < ranges[i].last) return 1;", FAST, None),
    ("tool/scan_files.cpp", "                columns = utf8_columns_t{};\n", "", FAST, None),
    ("tool/report.cpp", "form == REPORT_MSVC ? place.character : place.column;", "place.column;", FAST, None),
    # The kind of a message; --strict read where a warning is made.
    ("tool/report.cpp", "    if (kind == MESSAGE_ERROR) return \"error\";\n", "", FAST, None),
    ("tool/report.cpp", "    if (!options_strict()) return \"warning\";\n", "", FAST, None),
    ("tool/report.cpp", "    warnings_as_errors += 1;\n", "", FAST, None),
    ("tool/report.cpp", "    if (kind == MESSAGE_BARE) return;\n", "", FAST, None),
    ("tool/driver.cpp", "said.folders ? \" more directory\" : \" more file\"", "said.folders ? \" more file\" : \" more file\"", FAST, None),
    ("tool/driver.cpp", "m.add(said.folders ? \"cannot search directory \" : \"cannot read \");", "m.add(\"cannot read \");", FAST, None),
    # An option that takes one value, given twice.
    ("tool/options.cpp", "if (!OPTIONS[k].takes_value || k == OPTION_DIRECTORY) continue;", "if (!OPTIONS[k].takes_value) continue;", FAST, None),
    ("tool/options.cpp", "first == 0 ? 0 : option_at(k, first + 1); at != 0;", "first == 0 ? 0 : option_at(k, first); at != 0;", FAST, None),
    ("tool/options.cpp", "            if (at + 1 < count) {", "            if (at < count) {", FAST, None),
    # An option's name as a value; an option last, without its value.
    ("tool/options.cpp", "value = !value && before != OPTION_COUNT && OPTIONS[before].takes_value;", "value = before != OPTION_COUNT && OPTIONS[before].takes_value;", FAST, None),
    ("tool/options.cpp", "while (at != 0 && is_value(at))", "while (0)", FAST, None),
    ("tool/options.cpp", "const int file = before == OPTION_OUTPUT || before == OPTION_DEPFILE;", "const int file = before == OPTION_OUTPUT;", FAST, None),
    ("tool/options.cpp", "if (file || before == OPTION_DIRECTORY) {", "if (file) {", FAST, None),
    ("tool/options.cpp", "m.add(file ? \": give the file as \" : \": give the folder as \");", "m.add(\": give the file as \");", FAST, None),
    ("tool/options.cpp", "        if (is_value(i)) {", "        if (0) {", FAST, None),
    ("tool/options.cpp", "} else if (OPTIONS[option].takes_value && i + 1 == count &&", "} else if (OPTIONS[option].takes_value &&", FAST, None),
    ("tool/options.cpp", "(option == OPTION_DIRECTORY || option_read_at(option) == i)) {", "(option_read_at(option) == i)) {", FAST, None),
    ("tool/options.cpp", "(option == OPTION_DIRECTORY || option_read_at(option) == i)) {", "(option == OPTION_DIRECTORY || 1)) {", FAST, None),
    ("tool/options.cpp", "const uint32_t first = option_read_at(k);", "const uint32_t first = option_at(k, 1);", FAST, None),
    ("tool/options.cpp", "int switch_on(uint32_t option) { return option_read_at(option) != 0; }", "int switch_on(uint32_t option) { return option_at(option, 1) != 0; }", FAST, None),
    ("tool/driver.cpp", "m.add(list.capacity == 1 ? \" file\" : \" files\");", "m.add(\" files\");", FAST, None),
    ("tool/driver.cpp", "m.add(capacity == 1 ? \" id\" : \" ids\");", "m.add(\" ids\");", FAST, None),
    ("tool/options.cpp", "if (!OPTIONS[i].takes_value || argument.used <= name.used ||", "if (argument.used <= name.used ||", FAST, None),
    ("tool/options.cpp", "if (!read_run_options(o) || o->unknown != 0) return OPTIONS_FAILED;", "if (!read_run_options(o)) return OPTIONS_FAILED;", FAST, None),
    ("tool/driver.cpp", "return out_of_date ? 1 : 2;", "return 1;", FAST, None),
    ("tool/driver.cpp", "if (!check || code == 0) return code;", "if (code == 0) return code;", FAST, None),
    ("tool/driver.cpp", "    if (run.doubts != 0) {", "    if (0) {", FAST, None),
    ("tool/driver.cpp", "            run->doubts += 1;\n", "", FAST, None),
    ("tool/options.cpp", ": switch_on(OPTION_HELP_LONG) ? HELP", ": switch_on(OPTION_HELP) ? HELP", FAST, None),
    ("tool/options.cpp", "if (std_out_write(text, text_length(text))) return OPTIONS_ANSWERED;", "std_out_write(text, text_length(text));\n        return OPTIONS_ANSWERED;", FAST, None),
    ("tool/check.cpp", "            if (fixed) continue;", "", FAST, None),
    ("tool/check.cpp", "- (stop > line && stop[-1] == '\\r');", ";", FAST, None),
    ("tool/check.cpp", "if (added != 0 && removed != 0) m->add(\", \");", "if (added != 0) m->add(\", \");", FAST, None),
    ("tool/check.cpp", "    if (missing > NAMED) {", "    if (missing >= NAMED) {", FAST, None),
    ("tool/check.cpp", "for (int64_t i = 0; i < n && named < NAMED; ++i) {", "for (int64_t i = 0; i < n; ++i) {", FAST, None),
    ("tool/check.cpp", "m->add(missing == 1 ? \" id \" : \" ids \");", "m->add(\" ids \");", FAST, None),
    ("tool/check.cpp", "if (other.events == e.events && data_equal(&other.id, &e.id)) return 1;", "if (data_equal(&other.id, &e.id)) return 1;", FAST, None),
    ("tool/check.cpp", "old_ids[i].events == new_ids[i].events && data_equal", "1 && data_equal", FAST,
     "equivalent: the order is compared only when both headers hold the same ids of each kind, and both list the timelines first, so the kinds agree at every place"),
    ("tool/check.cpp", "m->add(same_order ? \"the same ids, other text\" : \"the same ids in another order\");", "m->add(\"the same ids in another order\");", FAST, None),
    # The formatter.
    ("base/format.cpp", "if (capacity - written >= remaining_digits)", "if (capacity - written > remaining_digits)", FAST, None),
    ("base/format.cpp", "? (digits - 1) / 3 : 0;", "? digits / 3 : 0;", FAST, None),
    ("base/format.cpp", "uint8_t sign = negative ? '-' :", "uint8_t sign = negative ? '+' :", FAST, None),
    ("base/format.cpp", "(d < 10 ? '0' + d : 'a' + d - 10)", "(d <= 10 ? '0' + d : 'a' + d - 10)", FAST, None),
    # The list split and the walk.
    ("base/dir.cpp", "while (p < end && n < maximum) {", "while (p < end && n <= maximum) {", FAST, None),
    ("base/dir.cpp", "        while (p < end && char_is_space(*p))\n            ++p;\n", "", FAST, None),
    ("base/dir.cpp", "if (dot == end || !dot) return", "if (!dot) return", FAST, None),
    ("base/dir.cpp", "if (matches_any(name, filter->exceptions, filter->exception_count) ||", "if (", FAST, None),
    ("base/dir.cpp", "if (plan.record || plan.descend) list->truncated = 1;", "if (plan.record) list->truncated = 1;", FAST, None),
    ("base/dir.cpp", "if (directory->used + PATTERN_BYTES > DIR_PATH_CAPACITY) return", "if (directory->used + PATTERN_BYTES >= DIR_PATH_CAPACITY) return", FAST, None),
    ("base/dir.cpp", "name->data[0] == '.' && name->data[1] == '.')", "name->data[0] == '.')", FAST, None),
    ("base/dir.cpp", "(uint16_t)(directory->used + separator + name->used)", "(uint16_t)(directory->used + name->used)", FAST, None),
    ("base/dir.cpp", "platform_folder_length(directory->data, directory->used) != directory->used;", "1;", FAST, None),
    # Extensions with a dot, names without regard to case, exceptions by path.
    ("base/dir.cpp", "if (item.used > 1 && item.data[0] == '.') {", "if (item.used > 0 && item.data[0] == '.') {", FAST, None),
    ("base/dir.cpp", "if (item.used > 1 && item.data[0] == '.') {", "if (0) {", FAST, None),
    ("base/dir.cpp", "            item.used -= 1;\n", "", FAST, None),
    ("base/dir.cpp", "if (dir_name_equal(name, &items[i], PLATFORM_NAMES_FOLD_CASE)) return 1;", "if (dir_name_equal(name, &items[i], 1)) return 1;", FAST, None),
    ("base/dir.cpp", "if (dir_name_equal(extension, &item, PLATFORM_NAMES_FOLD_CASE)) return 1;", "if (dir_name_equal(extension, &item, 1)) return 1;", FAST, None),
    ("base/dir.cpp", "if (dir_name_equal(name, &items[i], PLATFORM_NAMES_FOLD_CASE)) return 1;", "if (dir_name_equal(name, &items[i], 0)) return 1;", WINE, None),
    ("base/dir.cpp", "if (dir_name_equal(extension, &item, PLATFORM_NAMES_FOLD_CASE)) return 1;", "if (dir_name_equal(extension, &item, 0)) return 1;", WINE, None),
    ("base/dir.cpp", "x = char_is_upper(x) ? x | 0x20 : x;", "x = x | 0x20;", FAST, None),
    ("base/dir.cpp", "y = char_is_upper(y) ? y | 0x20 : y;", "", FAST, None),
    ("base/dir.cpp", "        if (fold_case) {", "        if (1) {", FAST, None),
    ("base/dir.cpp", "    if (a->used != b->used) return 0;\n    for", "    for", FAST, None),
    ("base/dir.cpp", "for (uint64_t i = 0; i < text->used; ++i)\n        if (platform_is_separator", "for (uint64_t i = 0; i < 1; ++i)\n        if (platform_is_separator", FAST, None),
    ("base/dir.cpp", "if (length <= root_length || !platform_is_separator((uint8_t)item_full[root_length]))", "if (length <= root_length)", FAST, None),
    ("base/dir.cpp", "if (!dir_name_equal(&head, &root_view, PLATFORM_NAMES_FOLD_CASE)) continue;", "", FAST, None),
    ("base/dir.cpp", "if (root->used + 1 + rest > ENTRY_PATH_CAPACITY) continue;", "if (root->used + 1 + rest > DIR_PATH_CAPACITY) continue;", FAST, None),
    ("base/dir.cpp", "        stored += rest;\n", "", FAST, None),
    ("base/dir.cpp", "if (start < directory->used && platform_is_separator(directory->data[start])) ++start;", "", FAST, None),
    ("base/dir.cpp", "folders == 0 ? name->used : folders + 1 + name->used;", "folders + 1 + name->used;", FAST, None),
    ("base/dir.cpp", "        if (folders == 0) return 1;", "        return 1;", FAST, None),
    ("base/dir.cpp", "if (platform_is_separator(rest->data[folders]) &&", "if (", FAST, None),
    ("base/dir.cpp", "dir_name_equal(&head, &down, PLATFORM_NAMES_FOLD_CASE))", "1)", FAST, None),
    ("base/platform/posix.cpp", "if (size == 0 || (size == 1 && name[0] == '.')) continue;", "if (size == 0) continue;", FAST, None),
    ("base/platform/posix.cpp", "            if (length != 0) --length;\n", "", FAST, None),
    ("base/platform/posix.cpp", "    if (path[0] != '/') {\n        if (!getcwd(joined", "    if (0) {\n        if (!getcwd(joined", FAST, None),
    ("base/platform/windows.cpp", "    if (!anchor_base(given.text, anchor, &base)) return 0;\n    if (windows_path_full((const uint16_t*)given.text, (const uint16_t*)base.text,\n                          (uint16_t*)full.text", "    base.text[0] = 0;\n    if (windows_path_full((const uint16_t*)given.text, (const uint16_t*)base.text,\n                          (uint16_t*)full.text", WINE, None),
    # The command-line split.
    ("base/command_line.cpp", "w->put_backslashes(backslashes / 2);", "w->put_backslashes(backslashes);", FAST, None),
    ("base/command_line.cpp", "const int separator = (code_point == ' ' || code_point == '\\t') && !quoted;", "const int separator = code_point == ' ' && !quoted;", FAST, None),
    ("base/command_line.cpp", "if (!(start < w.out && w.out < w.limit)) {", "if (!(start < w.out && w.out <= w.limit)) {", FAST,
     "equivalent: a text that fills the buffer leaves no room for its pointers, which the index refuses as too long all the same"),
    # The argument table.
    ("base/args.cpp", "if (iterator) *iterator = index + 1;", "if (iterator) *iterator = index + 2;", FAST, None),
    ("base/args.cpp", "if ((uint64_t)(int64_t)count > ARGS_CAPACITY) {", "if ((uint64_t)(int64_t)count >= ARGS_CAPACITY) {", FAST, None),
    ("base/args.cpp", "executable_path[i] == '\\\\') directory = i + 1;", "executable_path[i] == '\\\\') directory = i;", FAST, None),
    # The data blocks.
    ("base/data.cpp", "if (end < padding || end + n < end) return UINT64_MAX;", "if (end < padding) return UINT64_MAX;", FAST, None),
    ("base/data.cpp", "return (0 - address) & (alignment - 1);", "return (0 - address) & alignment;", FAST, None),
    ("base/data.cpp", "for (const uint8_t* p = end - pattern_length;; --p) {", "for (const uint8_t* p = end - pattern_length - 1;; --p) {", FAST, None),
    # The output file and its temporary names.
    ("base/file.cpp", "while (kept != 0 && ((uint8_t)target[base + kept] & 0xC0) == 0x80)", "while (0)", FAST, None),
    ("base/file.cpp", "if (!platform_error_is_exists(platform_last_error())) break;", "break;", FAST, None),
    ("base/file.cpp", "if (file_holds_text(target, bytes, length) == 1)", "if (0)", FAST, None),
    # A header with CRLF line endings holds the same text.
    ("base/file.cpp", "if (file_holds_text(target, bytes, length) == 1)", "if (file_holds_exactly(target, bytes, length) == 1)", FAST, None),
    ("base/file.cpp", "same = c == '\\n';", "same = 1;", FAST, None),
    ("base/file.cpp", "carriage_return = 0;\n                ++at;", "carriage_return = 0;", FAST, None),
    ("base/file.cpp", "same = line_endings && c == '\\r'", "same = c == '\\r'", FAST, None),
    ("base/file.cpp", "&& expected[at] == '\\n';", ";", FAST, None),
    ("base/file.cpp", "same = line_endings && c == '\\r' && at", "same = line_endings && at", FAST, None),
    ("base/file.cpp", "carriage_return = same;", "carriage_return = 0;", FAST, None),
    ("base/file.cpp", "return !failed && same && at == length;", "return !failed && same;", FAST, None),
    ("tool/driver.cpp", "= file_holds_text((const char*)o.output.data", "= file_holds_exactly((const char*)o.output.data", FAST, None),
    ("tool/guard.cpp", "if (start[i] == '\\r' && i + 1 < n && start[i + 1] == '\\n') continue;", "if (start[i] == '\\r') continue;", FAST, None),
    ("tool/guard.cpp", "if (start[i] == '\\r' && i + 1 < n && start[i + 1] == '\\n') continue;", "", FAST, None),
    ("tool/guard.cpp", "return at + 1 == sizeof opening;", "return 1;", FAST, None),
    # The compare's boundary: a file one byte longer than bytes whose
    # length is a whole number of its pieces reads equal piece by piece, and
    # a compare that stops once the bytes are matched never reads that byte.
    ("base/file.cpp", "    while (same) {\n", "    while (same && at < length) {\n", FAST, None),
    ("base/file.cpp", "        platform_file_attributes_like(file, target);", "        (void)target;", FAST, None),
    ("base/file.cpp", "if (writable && info.links > 1) return", "if (0) return", FAST, None),
    ("base/file.cpp", "if (writable && platform_error_is_denied(platform_last_error()))", "if (0)", FAST, None),
    ("base/platform/posix.cpp", "if (interrupt_armed) unlink(interrupt_path);", "", FAST, None),
    ("base/file.cpp", "if (base + kept + 28 > capacity) {", "if (base + kept > capacity) {", FAST, None),
    ("base/file.cpp", "if (result.outcome != FILE_REPLACED) platform_file_delete(temporary);", "", FAST, None),
    ("base/platform/posix.cpp", "size_t keep = target[0] == '/' || !slash ? 0 : (size_t)(slash - current) + 1;", "size_t keep = 0;", FAST, None),
    # Runs at once, interrupts, stale temporary files, refused renames.
    ("base/file.cpp", "    platform_file_lock(file);\n", "", FAST, None),
    ("base/file.cpp", "    platform_interrupts_hold(1);\n    // Room for every byte first", "    // Room for every byte first", FAST, None),
    ("base/file.cpp", "        !platform_file_truncate(file, length))\n        result = failure(0);", "        1)\n        result = failure(0);", FAST, None),
    ("base/file.cpp", "if (!platform_file_reserve(file, length) || write_through", "if (write_through", FAST, None),
    ("base/platform/posix.cpp", "        if (disposition == PLATFORM_CREATE_NEW && S_ISREG(info.st_mode)) unlink(path);\n", "", FAST, None),
    ("base/file.cpp", "        if (p[0] == '0' && p[1] >= '0' && p[1] <= '9') return 0;\n", "", FAST, None),
    ("base/file.cpp", "if (numbers[1] >= 2 * TEMPORARY_ATTEMPTS) return 0;", "if (numbers[1] > 2 * TEMPORARY_ATTEMPTS) return 0;", FAST, None),
    ("tool/driver.cpp", "    if (!guard_output(options_search(o), o.output, run.output_scanned != 0)) return 1;\n    const int same", "    const int same", FAST, None),
    ("tool/driver.cpp", "if (same == -1 && file_path_id((const char*)o.output.data, &id)) {", "if (0) {", FAST, None),
    ("tool/options.cpp", "    if (o->check && o->list) {", "    if (0) {", FAST, None),
    ("base/file.cpp", "        platform_interrupts_hold(1);\n        platform_handle_t file = platform_file_create_temporary(name);", "        platform_handle_t file = platform_file_create_temporary(name);", FAST, None),
    ("base/file.cpp", "if (file != PLATFORM_INVALID_HANDLE) platform_remove_on_interrupt(name);", "platform_remove_on_interrupt(name);", FAST, None),
    ("base/file.cpp", "    platform_interrupts_hold(1);\n    if (result.outcome == FILE_REPLACED &&", "    if (result.outcome == FILE_REPLACED &&", FAST,
     "equivalent on POSIX, where a rename is one step and the handler's unlink of the name it left finds nothing; the hold keeps a Windows replace's repair whole, and Wine cannot send console events"),
    ("base/file.cpp", "if (result.outcome == FILE_FAILED && !result.temporary && writable &&", "if (result.outcome == FILE_FAILED && !result.temporary &&", FAST,
     "equivalent: an existing output that may not be written was refused before the temporary file was made (Windows' busy case aside, which an in-place open refuses too), and a rename to a missing name is not refused for permission where the temporary file could be made"),
    ("base/file.cpp", "        platform_error_is_denied(result.error))\n        return write_in_place", "        1)\n        return write_in_place", FAST, None),
    ("base/file.cpp", "    remove_stale_temporaries(target, target_length);\n", "", FAST, None),
    ("base/file.cpp", "!temporary_process(entry.name, target + base, kept, &process) || process == self ||", "!temporary_process(entry.name, target + base, kept, &process) ||", FAST,
     "equivalent: the run's own process is alive, so its id is never gone; the compare spares the call"),
    ("base/file.cpp", "            !platform_process_gone(process))", "            0)", FAST, None),
    ("base/file.cpp", "if ((entry.attributes & PLATFORM_ATTRIBUTE_DIRECTORY) ||", "if (", FAST,
     "equivalent: unlink and DeleteFileW refuse a folder; the test spares the call"),
    ("base/file.cpp", "if (digits == 10) return 0;", "if (digits == 11) return 0;", FAST, None),
    ("base/file.cpp", "if (digits == 0 || value > 0xFFFFFFFF || *p++ != after[k]) return 0;", "if (digits == 0 || *p++ != after[k]) return 0;", FAST, None),
    ("base/file.cpp", "if (digits == 0 || value > 0xFFFFFFFF || *p++ != after[k]) return 0;", "if (value > 0xFFFFFFFF || *p++ != after[k]) return 0;", FAST, None),
    ("base/file.cpp", "const char after[2] = {'-', '.'};", "const char after[2] = {'-', '-'};", FAST, None),
    ("base/file.cpp", "p[2] == 'p' && p[3] == 0)", "p[2] == 'p')", FAST, None),
    ("base/file.cpp", "        if (*p++ != (uint8_t)kept_name[i]) return 0;", "        ++p;", FAST, None),
    ("base/file.cpp", "    if (base == 0) {\n", "    if (0) {\n", FAST, None),
    ("base/file.cpp", "if (platform_path_info(name, &info) && info.kind == PLATFORM_PATH_MISSING) return 1;", "return 1;", WINE, None),
    ("base/platform/posix.cpp", "if (process == 0 || process > (uint32_t)INT32_MAX) return 0;", "if (process == 0) return 0;", FAST, None),
    ("base/platform/posix.cpp", "return kill((pid_t)process, 0) != 0 && errno == ESRCH;", "return kill((pid_t)process, 0) != 0;", FAST, None),
    ("base/platform/posix.cpp", "        pthread_sigmask(SIG_BLOCK, &interrupts, &interrupts_held_from);", "        pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);", FAST, None),
    ("base/platform/posix.cpp", "while (flock(fd_from_handle(file), LOCK_EX) != 0", "while (flock(fd_from_handle(file), LOCK_SH) != 0", FAST, None),
    ("base/platform/posix.cpp", "    pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);\n    if (what.spread)", "    if (what.spread)", FAST,
     "equivalent today: the helper threads have ended before any step holds interrupts; it keeps a later thread from ending the process behind a held step"),
    # The steps of a replace on Windows.
    ("base/platform/windows_replace.cpp", "error == WINDOWS_ERROR_ACCESS_DENIED || error ==", "error ==", FAST, None),
    ("base/platform/windows_replace.cpp", "|| error == WINDOWS_ERROR_UNABLE_TO_REMOVE_REPLACED;", ";", FAST, None),
    ("base/platform/windows_replace.cpp", "            replace->backup_may_hold_old = 1;\n            replace->step = WINDOWS_STEP_DROP_BACKUP;", "            replace->step = WINDOWS_STEP_REPLACED;", FAST, None),
    ("base/platform/windows_replace.cpp", "} else if (error == WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT ||", "} else if (error == 0 ||", FAST, None),
    ("base/platform/windows_replace.cpp", "error == WINDOWS_ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {", "error == 0) {", FAST, None),
    ("base/platform/windows_replace.cpp", "            replace->backup_may_hold_old = 1;\n            replace->step = WINDOWS_STEP_MOVE_IN;", "            replace->step = WINDOWS_STEP_MOVE_IN;", FAST, None),
    ("base/platform/windows_replace.cpp", "} else if (held_elsewhere(error) && time_left) {", "} else if (held_elsewhere(error)) {", FAST, None),
    ("base/platform/windows_replace.cpp", "replace->backup_may_hold_old ? WINDOWS_STEP_DROP_BACKUP : WINDOWS_STEP_REPLACED;", "WINDOWS_STEP_REPLACED;", FAST, None),
    ("base/platform/windows_replace.cpp", "            if (replace->backup_may_hold_old)\n", "            if (0)\n", FAST, None),
    ("base/platform/windows_replace.cpp", "            else if (held_elsewhere(error) && time_left)\n", "            else if (held_elsewhere(error))\n", FAST, None),
    ("base/platform/windows_replace.cpp", "            replace->backup_may_hold_old = 0;\n            if (held_elsewhere", "            if (held_elsewhere", FAST,
     "equivalent: after the old file is back, the next step is a ReplaceFileW, which sets the flag again before it is read; only if the target vanished in between would a needless restore find nothing"),
    ("base/platform/windows_replace.cpp", "            if (held_elsewhere(replace->error) && time_left)", "            if (time_left)", FAST, None),
    ("base/platform/windows_replace.cpp", "} else if (error == WINDOWS_ERROR_FILE_EXISTS || error == WINDOWS_ERROR_ALREADY_EXISTS) {", "} else if (error == WINDOWS_ERROR_FILE_EXISTS) {", FAST, None),
    ("base/platform/windows_replace.cpp", "            replace->failed = 1;\n", "", FAST, None),
    ("base/platform/windows_replace.cpp", "if (error == WINDOWS_ERROR_FILE_NOT_FOUND) replace->backup_may_hold_old = 0;", "", FAST, None),
    ("base/platform/windows_replace.cpp", "            if (time_left)\n                wait_then(replace, WINDOWS_STEP_MOVE_IN);", "            if (0)\n                wait_then(replace, WINDOWS_STEP_MOVE_IN);", FAST, None),
    ("base/platform/windows_replace.cpp", "replace->failed ? WINDOWS_STEP_FAILED : WINDOWS_STEP_REPLACED;", "WINDOWS_STEP_REPLACED;", FAST, None),
    ("base/platform/windows_replace.cpp", "        replace->step = replace->retry;", "        replace->step = WINDOWS_STEP_REPLACE;", FAST, None),
    # The Windows layer's new calls.
    ("base/platform/windows.cpp", "if (!found) return GetLastError() == ERROR_INVALID_PARAMETER;", "if (!found) return 0;", WINE, None),
    ("base/platform/windows.cpp", "if (process == 0) return 0;\n    HANDLE found", "HANDLE found", WINE, None),
    ("base/platform/windows.cpp", "        case WINDOWS_STEP_DROP_BACKUP:\n            ok = DeleteFileW(wide_backup.text);", "        case WINDOWS_STEP_DROP_BACKUP:\n            ok = TRUE;", WINE, None),
    ("base/platform/windows.cpp", "    LockFileEx(to_handle(file), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);", "", WINE, None),
    # The MSBuild files, the NuGet package, the MSVC-style flags, the presets.
    ("cmake/msbuild/tagloomsmith.targets", " and '$(DesignTimeBuild)' != 'true'", "", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "<Error Condition=\"!Exists(", "<Error Condition=\"false and !Exists(", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "Include=\"$(_TagloomsmithIntDir);$(_TagloomsmithOutDir);", "Include=\"$(_TagloomsmithOutDir);", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "$(_TagloomsmithProject)\\vcpkg_installed;", "", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "Condition=\"'$(SolutionDir)' != '' and '$(SolutionDir)' != '*Undefined*'\"", "Condition=\"false\"", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "Condition=\"'$(VcpkgInstalledDir)' != ''\"", "Condition=\"false\"", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "@(_TagloomsmithLeftOut->'%(Identity).')", "@(_TagloomsmithLeftOut->'%(Identity)')", "package.msbuild",
     "equivalent off Windows: \"obj/\" is a path with a separator too; only a Windows command line reads the backslash before the closing quote as an escape, which the Windows argument rules document"),
    ("cmake/msbuild/tagloomsmith.targets", "<_TagloomsmithStrict Condition=\"'$(TagloomsmithStrict)' == 'true'\">", "<_TagloomsmithStrict Condition=\"true\">", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", " -s $(_TagloomsmithStrict) $(TagloomsmithAdditionalArguments)", " -s $(_TagloomsmithStrict)", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "<Delete Files=\"$(_TagloomsmithOutputPath);@(_TagloomsmithTemporary)\" />", "<Delete Files=\"$(_TagloomsmithOutputPath)\" />", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", ".$(_TagloomsmithOutputName).*-*.tmp", ".$(_TagloomsmithOutputName).*", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "Condition=\"'$(_TagloomsmithPropsImported)' != 'true'\"", "Condition=\"false\"", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "and Exists('$(MSBuildThisFileDirectory)..\\..\\tools\\tagloomsmith.exe')", "and Exists('nowhere')", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", " StdOutEncoding=\"UTF-8\"", "", "package.msbuild",
     "equivalent off Windows: xbuild reads UTF-8 on Linux anyway; MSBuild's Exec documentation says it reads the console's code page unless told"),
    # Folders left out whose paths hold a comma (-x splits at commas).
    ("cmake/msbuild/tagloomsmith.targets", "<_TagloomsmithProject Condition=\"$(_TagloomsmithProject.Contains(','))\">.</_TagloomsmithProject>", "", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "<_TagloomsmithIntDir Condition=\"$(_TagloomsmithIntDir.Contains(','))\">", "<_TagloomsmithIntDir Condition=\"false\">", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "<_TagloomsmithOutDir Condition=\"$(_TagloomsmithOutDir.Contains(','))\">", "<_TagloomsmithOutDir Condition=\"false\">", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "<_TagloomsmithVcpkgDir Condition=\"$(_TagloomsmithVcpkgDir.Contains(','))\">", "<_TagloomsmithVcpkgDir Condition=\"false\">", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "<_TagloomsmithSolution Condition=\"$(_TagloomsmithSolution.Contains(','))\">", "<_TagloomsmithSolution Condition=\"false\">", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "<_TagloomsmithIntDir Condition=\"$(_TagloomsmithIntDir.Contains(','))\">", "<_TagloomsmithIntDir Condition=\"true\">", "package.msbuild",
     "equivalent here: a relative form serves wherever the full one does, but for a project on a UNC share, where cmd.exe runs the command from a drive letter pushd maps, which only real Windows has"),
    ("cmake/msbuild/tagloomsmith.targets", "<Error Condition=\"'$(_TagloomsmithCommas)' != ''\"", "<Error Condition=\"false\"", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "<_TagloomsmithCommas Condition=\"$(_TagloomsmithIntDir.Contains(','))\">", "<_TagloomsmithCommas Condition=\"false\">", "package.msbuild", None),
    ("cmake/msbuild/tagloomsmith.targets", "@(_TagloomsmithLeftOut->'%(Identity)\\.')", "@(_TagloomsmithLeftOut->'%(Identity)')", "package.msbuild",
     "survives: only a folder directly in the project's folder written without its final separator gives an item with none (MSBuild's folder properties end in one by convention, and Visual C++ warns, MSB8004, when IntDir or OutDir does not)"),
    ("cmake/msbuild/tagloomsmith.targets", "<Exec WorkingDirectory=\"$(MSBuildProjectDirectory)\" ", "<Exec ", "package.msbuild",
     "equivalent: MSBuild and xbuild run a project's tasks in its folder; the attribute says what the relative items rely on"),
    ("cmake/tagloomsmith_functions.cmake", "    if(\"${inside}\" MATCHES \",\")", "    if(FALSE)", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "                cmake_path(RELATIVE_PATH path BASE_DIRECTORY \"${here}\")\n", "", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "                set(path \"./${path}\")\n", "", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "            file(REAL_PATH \"${folder}\" path)\n            if(path MATCHES \",\")", "            set(path \"${folder}\")\n            if(path MATCHES \",\")", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "            if(path MATCHES \",\")\n                message(FATAL_ERROR", "            if(FALSE)\n                message(FATAL_ERROR", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "            file(REAL_PATH \"${dir}\" dir)\n", "", "package.fetchcontent.Ninja", None),
    ("cmake/tagloomsmith_functions.cmake", "        set(working_directory WORKING_DIRECTORY \"${here}\")\n", "", "package.fetchcontent.Ninja",
     "equivalent on POSIX: the generator's cd to the binary directory as spelt lands in the same folder, whose real path getcwd reports; Windows keeps the working directory as spelt, links and all, which is why the step runs from the real one"),
    ("cmake/msbuild/tagloomsmith.props", "'$(TagloomsmithStrict)' == ''\">true<", "'$(TagloomsmithStrict)' == ''\">false<", "package.msbuild", None),
    ("CMakeLists.txt", "            set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/nuget_pack.cmake)\n", "", "package.msbuild", None),
    ("cmake/Tagloomsmith.nuspec.in", "target=\"build/native/Tagloomsmith.props\"", "target=\"build/native\"", "package.msbuild", None),
    ("cmake/Tagloomsmith.nuspec.in", "src=\"bin/tagloomsmith.exe\" target=\"tools\"", "src=\"bin/tagloomsmith.exe\" target=\"bin\"", "package.msbuild", None),
    ("cmake/windows_link.cmake", "string(REGEX REPLACE \"(^| )[/-]RTC[1csu]+\" \"\" ${variable} \"${${variable}}\")", "", "package.msvc.Unix_Makefiles", None),
    ("cmake/windows_link.cmake", "if(NOT CMAKE_CXX_COMPILER_ARCHITECTURE_ID STREQUAL \"x64\")", "if(FALSE)", "package.msvc.Unix_Makefiles", None),
    ("CMakePresets.json", "\"inherits\": \"linux-host\",\n      \"binaryDir\": \"${sourceDir}/build/default\"", "\"binaryDir\": \"${sourceDir}/build/default\"", "package.msvc.presets", None),
    ("CMakePresets.json", "\"CMAKE_BUILD_TYPE\": \"Release\",\n        \"CMAKE_C_COMPILER\": \"cl\"", "\"CMAKE_BUILD_TYPE\": \"Debug\",\n        \"CMAKE_C_COMPILER\": \"cl\"", "package.msvc.presets", None),
    ("CMakePresets.json", "\"CMAKE_CXX_COMPILER\": \"cl\",\n        \"TAGLOOMSMITH_TESTS\": \"OFF\"", "\"CMAKE_CXX_COMPILER\": \"cl\",\n        \"TAGLOOMSMITH_TESTS\": \"ON\"", "package.msvc.presets", None),
    # The POSIX layer.
    ("base/platform/posix.cpp", "unsigned char ux = (x >= 'a' && x <= 'z')", "unsigned char ux = (x >= 'a' && x < 'z')", FAST, None),
    ("base/platform/posix.cpp", "    return strcmp(a, b);\n}", "    return 0;\n}", FAST, None),
    ("base/platform/posix.cpp", "if (S_ISDIR(target.st_mode)) return 0;", "", FAST, None),
    ("base/platform/posix.cpp", "flock(fd, LOCK_EX | LOCK_NB) != 0 ||", "", FAST, None),
    # Windows paths, worked out without the OS.
    ("base/platform/windows_path.cpp", "if (anchor == WINDOWS_ROOTED) o.length = root;", "", FAST, None),
    ("base/platform/windows_path.cpp", "if (out->length > root) --out->length;", "if (out->length >= root) --out->length;", FAST, None),
    ("base/platform/windows_path.cpp", "while (out->length > root && out->text[out->length - 1] != '\\\\')", "while (out->length >= root && out->text[out->length - 1] != '\\\\')", FAST, None),
    # The Windows layer.
    ("base/platform/windows.cpp", "entry->attributes = found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;", "entry->attributes = 0;", WINE, None),
    ("base/platform/windows.cpp", "if (GetFileType(file) != FILE_TYPE_DISK) {", "if (0) {", WINE, None),
]


def run(command, cwd, log, timeout=None, env=None):
    with open(log, "ab") as out:
        try:
            return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout, env=env).returncode
        except subprocess.TimeoutExpired:
            return -1


def empty_folder(folder):
    """Removes what stands in the folder, whatever its permissions (a test may
    lock a folder), and nothing outside it."""
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isdir(path) and not os.path.islink(path):
            subprocess.run(["chmod", "-R", "u+rwx", path], stderr=subprocess.DEVNULL)
            shutil.rmtree(path, ignore_errors=True)
        else:
            os.unlink(path)


def build_and_test(build, suite, log, temporary):
    targets = ["tagloomsmith", "tagloomsmith_tests", "tagloomsmith_e2e"]
    if suite != FAST:
        targets = ["all"]
    if run(["cmake", "--build", build, "-j2", "--target"] + targets, build, log) != 0:
        return "build"
    tests = ["-E", "^(wine|windows|package|freestanding)|NOT_BUILT"] if suite == FAST else ["-R", "^wine"]
    if suite not in (FAST, WINE):
        tests = ["-R", "^" + suite.replace(".", "\\.") + "$"]
    # A killed mutant may crash a test before it removes its folders: the
    # tests make them in a folder of this run's own, emptied after each run.
    # A package test builds whole consumer projects.
    limit = "120" if suite in (FAST, WINE) else "600"
    code = run(["ctest", "--test-dir", build, "-j2", "--timeout", limit, "--stop-on-failure"] + tests,
               build, log, timeout=900, env=dict(os.environ, TMPDIR=temporary))
    stop_wine(build, temporary)
    empty_folder(temporary)
    return "pass" if code == 0 else "fail"


def stop_wine(build, temporary):
    """Stops the Wine server of the build's prefix while its socket folder,
    under the run's TMPDIR, still stands: emptied first, the server could no
    longer be reached and would outlive the run, one more per mutant."""
    prefix = os.path.join(build, "wineprefix")
    if os.path.isdir(prefix):
        source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        subprocess.run(["sh", os.path.join(source, "tests", "windows", "wine_stop.sh"), prefix],
                       env=dict(os.environ, TMPDIR=temporary))


def main():
    parser = argparse.ArgumentParser(description="mutation check of the test suite")
    parser.add_argument("--only", action="append",
                        help="run the mutants whose file or text contains this text (may be repeated)")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
    options = parser.parse_args()
    source = subprocess.run(["git", "rev-parse", "--show-toplevel"], capture_output=True, text=True,
                            cwd=os.path.dirname(os.path.abspath(__file__))).stdout.strip()
    chosen = [m for m in MUTANTS
              if not options.only or any(o in m[0] or o in m[1] for o in options.only)]
    scratch = tempfile.mkdtemp(prefix="tagloomsmith_mutants_")
    temporary = os.path.join(scratch, "tmp")
    os.mkdir(temporary)
    # Tests that run the tool as nobody reach their folders through these,
    # as they would through /tmp.
    os.chmod(scratch, 0o755)
    os.chmod(temporary, 0o1777)
    try:
        tree = os.path.join(scratch, "tree")
        files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=source,
                               capture_output=True, text=True).stdout.split()
        for name in files:
            if os.path.isfile(os.path.join(source, name)):
                os.makedirs(os.path.dirname(os.path.join(tree, name)), exist_ok=True)
                shutil.copy2(os.path.join(source, name), os.path.join(tree, name))
        build = os.path.join(scratch, "build")
        log = os.path.join(scratch, "log")
        wine = any(m[3] != FAST for m in chosen)
        run(["cmake", "-S", tree, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
             "-DTAGLOOMSMITH_TESTS=ON", "-DTAGLOOMSMITH_WINDOWS_TESTS=" + ("ON" if wine else "OFF")],
            scratch, log)
        for suite in sorted({m[3] for m in chosen}):
            if build_and_test(build, suite, log, temporary) != "pass":
                print(f"the unchanged tree does not pass the {suite} tests; see {log}")
                options.keep = True
                return 2
        killed = survived = equivalent = 0
        for number, (name, text, replacement, suite, why) in enumerate(chosen, 1):
            path = os.path.join(tree, name)
            original = open(path).read()
            if original.count(text) != 1:
                print(f"M{number} {name}: the text stands {original.count(text)} times; fix the list")
                return 2
            open(path, "w").write(original.replace(text, replacement))
            started = time.time()
            outcome = build_and_test(build, suite, log, temporary)
            open(path, "w").write(original)
            os.utime(path)
            first_line = text.strip().splitlines()[0]
            seconds = f"{time.time() - started:.0f} s"
            if outcome == "build":
                print(f"M{number} {name}: does not compile ({first_line}); fix the list")
                return 2
            if outcome == "fail":
                killed += 1
                print(f"M{number} killed    {name}: {first_line} ({seconds})")
            elif why:
                equivalent += 1
                print(f"M{number} equivalent {name}: {first_line}: {why}")
            else:
                survived += 1
                print(f"M{number} SURVIVED  {name}: {first_line} ({seconds})")
            sys.stdout.flush()
        total = killed + survived + equivalent
        if total == 0:
            print("no mutant matches --only")
            return 1
        print(f"{killed} of {total} killed ({100.0 * killed / total:.1f}%), "
              f"{equivalent} equivalent, {survived} survived")
        return 1 if survived else 0
    finally:
        # ctest stopped early leaves the Wine server of the build's prefix up.
        stop_wine(os.path.join(scratch, "build"), temporary)
        empty_folder(temporary)
        if options.keep:
            print(f"scratch kept in {scratch}")
        else:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
