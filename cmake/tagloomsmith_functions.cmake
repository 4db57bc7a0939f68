# tagloomsmith_generate_ids(<target>
#     [DIRECTORIES dir...]   # default: the current source directory
#     [RECURSIVE]
#     [EXTENSIONS ext...]    # default: c cpp h hpp
#     [EXCEPTIONS name...]   # default: profiler.h
#     [OUTPUT file])         # default: <current binary dir>/profiler_ids.h
#
# Adds a build step that runs tagloomsmith over the directories, makes
# <target> depend on it and puts the header's folder on <target>'s include
# path. The step runs again whenever a scanned file changes or appears, and
# the header is replaced only when its bytes change, so an edit that adds no
# id rebuilds nothing else.
include_guard(GLOBAL)

function(tagloomsmith_generate_ids target)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "RECURSIVE" "OUTPUT" "DIRECTORIES;EXTENSIONS;EXCEPTIONS")
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
    cmake_path(ABSOLUTE_PATH ARG_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
               NORMALIZE OUTPUT_VARIABLE output)
    cmake_path(GET output PARENT_PATH output_dir)

    set(tool_args)
    set(inputs)
    set(glob_mode GLOB)
    if(ARG_RECURSIVE)
        set(glob_mode GLOB_RECURSE)
    endif()
    foreach(dir IN LISTS ARG_DIRECTORIES)
        cmake_path(ABSOLUTE_PATH dir BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE)
        string(REGEX REPLACE "/$" "" dir "${dir}")
        list(APPEND tool_args -d "${dir}")
        foreach(ext IN LISTS ARG_EXTENSIONS)
            # CONFIGURE_DEPENDS: a new source file re-runs the glob, and with
            # it the step, at build time.
            file(${glob_mode} found CONFIGURE_DEPENDS "${dir}/*.${ext}")
            list(APPEND inputs ${found})
        endforeach()
    endforeach()
    set(scanned)
    foreach(file IN LISTS inputs)
        cmake_path(GET file FILENAME name)
        if(NOT name IN_LIST ARG_EXCEPTIONS AND NOT file STREQUAL output)
            list(APPEND scanned "${file}")
        endif()
    endforeach()
    list(REMOVE_DUPLICATES scanned)
    list(JOIN ARG_EXTENSIONS "," extensions)
    list(JOIN ARG_EXCEPTIONS "," exceptions)
    list(APPEND tool_args -e "${extensions}" -x "${exceptions}")
    if(ARG_RECURSIVE)
        list(APPEND tool_args -r)
    endif()

    # The step's own output is a stamp; the header is a by-product that is
    # only copied over when its bytes changed, so its time stamp stays.
    string(MAKE_C_IDENTIFIER "${target}_${output}" step)
    set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${step}.stamp")
    set(fresh "${output}.new")
    add_custom_command(
        OUTPUT "${stamp}"
        BYPRODUCTS "${output}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${output_dir}"
        COMMAND tagloomsmith::tagloomsmith ${tool_args} -o "${fresh}" -s
        COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${fresh}" "${output}"
        COMMAND "${CMAKE_COMMAND}" -E remove "${fresh}"
        COMMAND "${CMAKE_COMMAND}" -E touch "${stamp}"
        DEPENDS ${scanned} tagloomsmith::tagloomsmith
        COMMENT "Generating ${output}"
        VERBATIM)
    add_custom_target(${step} DEPENDS "${stamp}")
    add_dependencies(${target} ${step})
    target_include_directories(${target} PRIVATE "${output_dir}")
endfunction()
