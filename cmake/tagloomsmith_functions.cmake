# tagloomsmith_generate_ids(<target>
#     [DIRECTORIES dir...]   # default: the current source directory
#     [RECURSIVE]
#     [EXTENSIONS ext...]    # default: c cpp h hpp
#     [EXCEPTIONS name...]   # default: profiler.h
#     [OUTPUT file]          # default: <current binary dir>/profiler_ids.h
#     [MAX_FILES n]          # default: 1024 files (--max-files)
#     [MAX_IDS n]            # default: 2048 ids of each kind (--max-ids)
#     [NO_STRICT])           # warnings (a missing folder, a limit reached, an
#                            # unreadable file) do not fail the build
#
# Adds a build step that runs tagloomsmith over the directories, makes
# <target> depend on it and puts the header's folder on <target>'s include
# path. The step runs again whenever a scanned file changes, appears or is
# deleted; the tool leaves the header untouched when its bytes would not
# change, so an edit that adds no id rebuilds nothing else.
#
# One step per header: another target calling this with the same OUTPUT and
# the same options shares the first one's step; other options for the same
# OUTPUT are an error. Build folders (the binary directory, and any folder
# holding a CMakeCache.txt, made before or after configure) are never
# scanned: they are left out by path, so
# a source folder that shares a build folder's name is. When cross compiling, the
# tool must run on the build machine: an installed package's tool does; a
# source tree (add_subdirectory, FetchContent) builds one for the host, or
# TAGLOOMSMITH_HOST_EXECUTABLE names one. An in-source build runs the tool
# once more after a build that linked into a scanned folder: with Ninja and
# Makefiles a folder's time tells the step that a source was added to it.
include_guard(GLOBAL)
# Ninja reads the tool's dependency file as the tool writes it. CMake's own
# rewrite of it for Ninja (the NEW behaviour) reads "$$" and "\#" as make
# does and writes "$" and "#" back bare, which Ninja splits a name at: a
# scanned name holding either would rerun the step on every build. The
# functions below keep this setting (include() scopes it to this file).
cmake_policy(SET CMP0116 OLD)

set(TAGLOOMSMITH_HOST_EXECUTABLE "" CACHE FILEPATH
    "A tagloomsmith that runs on the build machine, for cross builds")

# The command that runs the tool at build time, and what the step must
# depend on for it, in the caller's variables <prefix>_COMMAND and
# <prefix>_DEPENDS.
function(_tagloomsmith_tool prefix)
    set(tool tagloomsmith::tagloomsmith)
    get_target_property(imported ${tool} IMPORTED)
    if(NOT CMAKE_CROSSCOMPILING OR imported)
        set(${prefix}_COMMAND ${tool} PARENT_SCOPE)
        set(${prefix}_DEPENDS ${tool} PARENT_SCOPE)
        return()
    endif()
    # The target here is built for the machine the build is for.
    if(TAGLOOMSMITH_HOST_EXECUTABLE)
        set(${prefix}_COMMAND "${TAGLOOMSMITH_HOST_EXECUTABLE}" PARENT_SCOPE)
        set(${prefix}_DEPENDS "" PARENT_SCOPE)
        return()
    endif()
    get_target_property(source_dir tagloomsmith SOURCE_DIR)
    find_program(host_cc NAMES cc gcc clang NO_CMAKE_FIND_ROOT_PATH)
    if(NOT TARGET tagloomsmith_host AND host_cc AND EXISTS "${source_dir}/CMakeLists.txt")
        include(ExternalProject)
        # The same sources, built with the build machine's own compiler.
        ExternalProject_Add(tagloomsmith_host
            SOURCE_DIR "${source_dir}"
            BINARY_DIR "${CMAKE_BINARY_DIR}/tagloomsmith_host"
            CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DTAGLOOMSMITH_TESTS=OFF
                       -DTAGLOOMSMITH_INSTALL=OFF -DTAGLOOMSMITH_WINDOWS_TESTS=OFF
            BUILD_BYPRODUCTS "${CMAKE_BINARY_DIR}/tagloomsmith_host/tagloomsmith"
            INSTALL_COMMAND ""
            LOG_CONFIGURE ON LOG_BUILD ON LOG_OUTPUT_ON_FAILURE ON)
    endif()
    if(NOT TARGET tagloomsmith_host)
        message(FATAL_ERROR "tagloomsmith_generate_ids: cross compiling, the tool must run on "
            "this machine, and none can be built here (no host C compiler found). Install "
            "tagloomsmith for this machine and pass -DTAGLOOMSMITH_HOST_EXECUTABLE=<its path>.")
    endif()
    set(${prefix}_COMMAND "${CMAKE_BINARY_DIR}/tagloomsmith_host/tagloomsmith" PARENT_SCOPE)
    set(${prefix}_DEPENDS tagloomsmith_host PARENT_SCOPE)
endfunction()

# Folders inside the scanned directories that are never scanned: build
# folders (the binary directory, any folder holding a CMakeCache.txt) and
# the tool's own source folder when it is vendored there (its tests hold ids
# such as "count"). Sets <out> to what the tool's -x takes: the folders by
# path (an item with a separator names that one folder, so a source folder
# called "build", "Release" or "CMakeFiles" elsewhere is still scanned),
# with the binary directory's CMakeFiles for an in-source build, whose
# binary directory is a scanned one. <out>_PATHS holds the folders alone.
function(_tagloomsmith_left_out out directories recursive)
    set(folders "${CMAKE_BINARY_DIR}")
    if(TARGET tagloomsmith)
        get_target_property(imported tagloomsmith IMPORTED)
        if(NOT imported)
            get_target_property(tool_source tagloomsmith SOURCE_DIR)
            list(APPEND folders "${tool_source}")
        endif()
    endif()
    set(glob_mode GLOB)
    if(recursive)
        set(glob_mode GLOB_RECURSE)
    endif()
    foreach(dir IN LISTS directories)
        file(${glob_mode} caches "${dir}/CMakeCache.txt")
        foreach(cache IN LISTS caches)
            cmake_path(GET cache PARENT_PATH cache_dir)
            list(APPEND folders "${cache_dir}")
        endforeach()
    endforeach()
    # An in-source build's own CMakeFiles holds the compiler checks' C
    # sources; a source folder of that name elsewhere is the project's.
    list(APPEND folders "${CMAKE_BINARY_DIR}/CMakeFiles")
    set(inside)
    foreach(folder IN LISTS folders)
        foreach(dir IN LISTS directories)
            cmake_path(IS_PREFIX dir "${folder}" NORMALIZE is_inside)
            if(is_inside AND NOT folder STREQUAL dir)
                list(APPEND inside "${folder}")
            endif()
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES inside)
    set(${out}_PATHS "${inside}" PARENT_SCOPE)
    # -x splits at commas: a folder whose path holds one is passed relative
    # to the step's working directory, the current binary directory, where
    # the comma usually lies on the way to both. The tool resolves that
    # against the real working directory, so the step then runs there, and
    # the folders and the scanned directories are given by real paths, links
    # resolved, for its comparisons to hold. <out>_HERE: that directory.
    set(${out}_HERE "" PARENT_SCOPE)
    if("${inside}" MATCHES ",")
        file(REAL_PATH "${CMAKE_CURRENT_BINARY_DIR}" here)
        set(real)
        foreach(folder IN LISTS inside)
            file(REAL_PATH "${folder}" path)
            if(path MATCHES ",")
                cmake_path(RELATIVE_PATH path BASE_DIRECTORY "${here}")
                # With a separator, the item is a path, not a name.
                set(path "./${path}")
            endif()
            if(path MATCHES ",")
                message(FATAL_ERROR "tagloomsmith_generate_ids: ${folder} must not be scanned "
                    "but cannot be left out: its path holds a comma, also relative to "
                    "${CMAKE_CURRENT_BINARY_DIR}, and the tool's lists are comma-separated. "
                    "Rename it, or move it or the build folder to where the comma lies in a "
                    "folder above both.")
            endif()
            list(APPEND real "${path}")
        endforeach()
        set(inside ${real})
        set(${out}_HERE "${here}" PARENT_SCOPE)
    endif()
    set(${out} ${inside} PARENT_SCOPE)
endfunction()

# For generators without dependency files: the scanned sources found at
# configure time (globbed again at build time), and a list of them,
# rewritten only when it changes, so that a deleted or added source reruns
# the step. Sets <out> to the step's dependencies.
function(_tagloomsmith_globbed_sources out)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "RECURSIVE" "STEP;OUTPUT"
        "DIRECTORIES;EXTENSIONS;EXCEPTIONS;LEFT_OUT")
    set(glob_mode GLOB)
    if(ARG_RECURSIVE)
        set(glob_mode GLOB_RECURSE)
    endif()
    set(scanned)
    foreach(dir IN LISTS ARG_DIRECTORIES)
        foreach(ext IN LISTS ARG_EXTENSIONS)
            file(${glob_mode} found CONFIGURE_DEPENDS "${dir}/*.${ext}")
            foreach(file IN LISTS found)
                cmake_path(GET file FILENAME name)
                set(keep TRUE)
                if(name IN_LIST ARG_EXCEPTIONS OR file STREQUAL ARG_OUTPUT)
                    set(keep FALSE)
                endif()
                foreach(folder IN LISTS ARG_LEFT_OUT)
                    cmake_path(IS_PREFIX folder "${file}" NORMALIZE is_inside)
                    if(is_inside)
                        set(keep FALSE)
                    endif()
                endforeach()
                if(keep)
                    list(APPEND scanned "${file}")
                endif()
            endforeach()
        endforeach()
    endforeach()
    list(REMOVE_DUPLICATES scanned)
    list(SORT scanned)
    set(list_file "${CMAKE_CURRENT_BINARY_DIR}/${ARG_STEP}.sources")
    list(JOIN scanned "\n" listing)
    set(old_listing "")
    if(EXISTS "${list_file}")
        file(READ "${list_file}" old_listing)
    endif()
    if(NOT old_listing STREQUAL "${listing}\n")
        file(WRITE "${list_file}" "${listing}\n")
    endif()
    set(${out} ${scanned} "${list_file}" PARENT_SCOPE)
endfunction()

# The step that runs the tool. Its own output is a stamp, touched by every
# run: the tool leaves the header alone when its bytes stay the same, so the
# header's time says nothing about when the sources were last read (Make
# would run the tool on every build after an edit that adds no id).
# Where the generator reads dependency files (Ninja, Makefiles), the tool
# writes one for the stamp, listing every file it scanned and every folder
# it searched: an edited, added or deleted source reruns the step, and
# nothing is globbed at configure time (a build folder inside the scanned
# tree would make the first no-op build configure again). Elsewhere, the
# globbed sources. here: the working directory, when not the default; the
# arguments after it are those of _tagloomsmith_globbed_sources.
function(_tagloomsmith_add_step step output tool_args here)
    _tagloomsmith_tool(tool)
    set(working_directory)
    if(here)
        set(working_directory WORKING_DIRECTORY "${here}")
    endif()
    cmake_path(GET output PARENT_PATH output_dir)
    set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${step}.stamp")
    if(CMAKE_GENERATOR MATCHES "Ninja|Makefiles")
        set(depfile "${CMAKE_CURRENT_BINARY_DIR}/${step}.d")
        # The build file's depfile line is written unescaped (the OLD
        # behaviour above), and Ninja reads a "$" in it as a variable: a
        # build or project path holding one would rerun the step on every
        # build. Relative to the top binary directory, where Ninja runs, it
        # holds only the build's own folders; the tool still gets it whole.
        cmake_path(RELATIVE_PATH depfile BASE_DIRECTORY "${CMAKE_BINARY_DIR}"
                   OUTPUT_VARIABLE build_depfile)
        set(forget)
        # Ninja reads names that make cannot ("Dropbox (Personal)"), and
        # takes a dependency file for the stamp only if it names the stamp
        # as the build file does: relative to the top binary directory.
        # The Makefiles generators hand the file on to make; for make alone
        # it lists the header too, so that a deleted header runs the step.
        cmake_path(RELATIVE_PATH stamp BASE_DIRECTORY "${CMAKE_BINARY_DIR}"
                   OUTPUT_VARIABLE target)
        set(readers --depfile-for ninja)
        if(CMAKE_GENERATOR MATCHES "Makefiles")
            set(target "${stamp}")
            # Make takes a relative DEPFILE from the current binary directory.
            set(build_depfile "${depfile}")
            set(readers --depfile-for make)
            # The Makefiles generators add what a new dependency file lists to
            # what they gathered before (CMakeFiles/<step>.dir/
            # compiler_depend.internal) and never drop a path: a deleted
            # source would stay listed, with an empty rule that makes it new
            # on every build, and the tool would run on each. Without the
            # file, the next build gathers the current list afresh.
            set(forget COMMAND "${CMAKE_COMMAND}" -E rm -f
                "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${step}.dir/compiler_depend.internal")
        endif()
        add_custom_command(
            OUTPUT "${stamp}"
            BYPRODUCTS "${output}"
            COMMAND "${CMAKE_COMMAND}" -E make_directory "${output_dir}"
            COMMAND ${tool_COMMAND} ${tool_args} -o "${output}" --depfile "${depfile}"
                    --depfile-target "${target}" ${readers} -s
            COMMAND "${CMAKE_COMMAND}" -E touch "${stamp}"
            ${forget}
            DEPFILE "${build_depfile}"
            DEPENDS ${tool_DEPENDS}
            ${working_directory}
            COMMENT "Generating ${output}"
            VERBATIM)
        add_custom_target(${step} DEPENDS "${stamp}")
        return()
    endif()
    _tagloomsmith_globbed_sources(sources STEP ${step} OUTPUT "${output}" ${ARGN})
    add_custom_command(
        OUTPUT "${stamp}"
        BYPRODUCTS "${output}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${output_dir}"
        COMMAND ${tool_COMMAND} ${tool_args} -o "${output}" -s
        COMMAND "${CMAKE_COMMAND}" -E touch "${stamp}"
        DEPENDS ${sources} ${tool_DEPENDS}
        ${working_directory}
        COMMENT "Generating ${output}"
        VERBATIM)
    add_custom_target(${step} DEPENDS "${stamp}")
endfunction()

# The tool's options for the limits given (none for a default), in <out>.
function(_tagloomsmith_limit_args out max_files max_ids)
    set(limits)
    if(max_files)
        list(APPEND limits --max-files "${max_files}")
    endif()
    if(max_ids)
        list(APPEND limits --max-ids "${max_ids}")
    endif()
    set(${out} ${limits} PARENT_SCOPE)
endfunction()

# The step for a new header: the tool's arguments from the options, then
# the build step. It takes the public function's keywords, the OUTPUT and
# DIRECTORIES made absolute, MAX_FILES and MAX_IDS as the tool's options for
# them (only the public function's keywords, so a folder that one of them
# does not split cannot split here either).
function(_tagloomsmith_new_step step)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "RECURSIVE;NO_STRICT" "OUTPUT;MAX_FILES;MAX_IDS"
        "DIRECTORIES;EXTENSIONS;EXCEPTIONS")
    # make reads "(" in a dependency file as an archive's member, "%" as a
    # pattern, ":" and "=" as syntax, and CMake's own record of the file
    # cannot hold them either: say so now, not at the first build. A name
    # deeper in the tree is the tool's own error when it runs.
    if(CMAKE_GENERATOR MATCHES "Makefiles")
        foreach(path IN ITEMS "${CMAKE_CURRENT_BINARY_DIR}" "${ARG_OUTPUT}" ${ARG_DIRECTORIES})
            string(REGEX REPLACE "^[A-Za-z]:" "" rest "${path}")
            string(REGEX MATCH "[][()%=:;'\"*&|<>?^`]" bad "${rest}")
            if(NOT bad STREQUAL "")
                message(FATAL_ERROR "tagloomsmith_generate_ids: with the ${CMAKE_GENERATOR} "
                    "generator the header cannot be made in or from ${path}: make cannot read "
                    "a name holding \"${bad}\" back from a dependency file. Use the Ninja "
                    "generator, or a path without it.")
            endif()
        endforeach()
    endif()
    _tagloomsmith_left_out(left_out "${ARG_DIRECTORIES}" "${ARG_RECURSIVE}")
    _tagloomsmith_limit_args(limits "${ARG_MAX_FILES}" "${ARG_MAX_IDS}")
    set(tool_args)
    foreach(dir IN LISTS ARG_DIRECTORIES)
        if(left_out_HERE)
            file(REAL_PATH "${dir}" dir)
        endif()
        list(APPEND tool_args -d "${dir}")
    endforeach()
    list(JOIN ARG_EXTENSIONS "," extension_list)
    set(names ${ARG_EXCEPTIONS} ${left_out})
    list(REMOVE_DUPLICATES names)
    list(JOIN names "," exception_list)
    # A build folder made inside the tree after this configure is left out
    # when the tool runs.
    list(APPEND tool_args -e "${extension_list}" -x "${exception_list}"
         --skip-folders-with CMakeCache.txt ${limits})
    set(recursive_keyword)
    if(ARG_RECURSIVE)
        list(APPEND tool_args -r)
        set(recursive_keyword RECURSIVE)
    endif()
    # A build stops at the cause (a missing folder, a limit reached, an
    # unreadable file), not later in a compile.
    if(NOT ARG_NO_STRICT)
        list(APPEND tool_args --strict)
    endif()
    _tagloomsmith_add_step(${step} "${ARG_OUTPUT}" "${tool_args}" "${left_out_HERE}"
        ${recursive_keyword} DIRECTORIES ${ARG_DIRECTORIES} EXTENSIONS ${ARG_EXTENSIONS}
        EXCEPTIONS ${ARG_EXCEPTIONS} LEFT_OUT ${left_out_PATHS})
endfunction()

function(tagloomsmith_generate_ids target)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "RECURSIVE;NO_STRICT" "OUTPUT;MAX_FILES;MAX_IDS"
        "DIRECTORIES;EXTENSIONS;EXCEPTIONS")
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "tagloomsmith_generate_ids: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT TARGET ${target})
        message(FATAL_ERROR "tagloomsmith_generate_ids: no target named ${target}")
    endif()
    if(NOT ARG_DIRECTORIES)
        set(ARG_DIRECTORIES "${CMAKE_CURRENT_SOURCE_DIR}")
    endif()
    if(NOT ARG_EXTENSIONS)
        set(ARG_EXTENSIONS c cpp h hpp)
    endif()
    if(NOT ARG_EXCEPTIONS)
        set(ARG_EXCEPTIONS profiler.h)
    endif()
    if(NOT ARG_OUTPUT)
        set(ARG_OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/profiler_ids.h")
    endif()
    _tagloomsmith_limit_args(limits "${ARG_MAX_FILES}" "${ARG_MAX_IDS}")
    cmake_path(ABSOLUTE_PATH ARG_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
               NORMALIZE OUTPUT_VARIABLE output)
    cmake_path(GET output PARENT_PATH output_dir)
    set(directories)
    foreach(dir IN LISTS ARG_DIRECTORIES)
        cmake_path(ABSOLUTE_PATH dir BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE)
        string(REGEX REPLACE "/$" "" dir "${dir}")
        list(APPEND directories "${dir}")
    endforeach()

    # One step per header, whichever targets use it.
    string(SHA1 output_hash "${output}")
    string(SUBSTRING "${output_hash}" 0 8 output_hash)
    set(options "${directories}|${ARG_RECURSIVE}|${ARG_EXTENSIONS}|${ARG_EXCEPTIONS}|${ARG_NO_STRICT}|${limits}")
    get_property(step GLOBAL PROPERTY TAGLOOMSMITH_STEP_${output_hash})
    if(step)
        get_property(step_options GLOBAL PROPERTY TAGLOOMSMITH_OPTIONS_${output_hash})
        if(NOT step_options STREQUAL options)
            message(FATAL_ERROR "tagloomsmith_generate_ids(${target}): ${output} is generated "
                "already, by the step of another target, with other options; give this one "
                "another OUTPUT or the same DIRECTORIES, RECURSIVE, EXTENSIONS, EXCEPTIONS, "
                "MAX_FILES, MAX_IDS and NO_STRICT.")
        endif()
    else()
        string(MAKE_C_IDENTIFIER "tagloomsmith_${target}_${output_hash}" step)
        set_property(GLOBAL PROPERTY TAGLOOMSMITH_STEP_${output_hash} ${step})
        set_property(GLOBAL PROPERTY TAGLOOMSMITH_OPTIONS_${output_hash} "${options}")
        set(switches)
        foreach(switch RECURSIVE NO_STRICT)
            if(ARG_${switch})
                list(APPEND switches ${switch})
            endif()
        endforeach()
        _tagloomsmith_new_step(${step} ${switches} OUTPUT "${output}" DIRECTORIES ${directories}
            EXTENSIONS ${ARG_EXTENSIONS} EXCEPTIONS ${ARG_EXCEPTIONS} MAX_FILES "${ARG_MAX_FILES}"
            MAX_IDS "${ARG_MAX_IDS}")
    endif()
    add_dependencies(${target} ${step})
    target_include_directories(${target} PRIVATE "${output_dir}")
endfunction()
