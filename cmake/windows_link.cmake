# tagloomsmith.exe has no runtime library at all: the OS enters it at
# process_entry and it imports KERNEL32.dll alone. The whole stack is
# committed up front (the main thread's by the linker, the others' by
# CreateThread), so no frame needs a stack probe. The flags follow the
# compiler's front end: GNU-style (mingw's g++, clang) or MSVC-style (cl,
# clang-cl).
set(tagloomsmith_targets tagloomsmith_base tagloomsmith_tool tagloomsmith)
if(MSVC OR CMAKE_CXX_COMPILER_FRONTEND_VARIANT STREQUAL "MSVC")
    # The entry point, the stack set-up and the lack of 64-bit arithmetic
    # helpers are x64's: another target (the plain Developer Prompt builds
    # x86, Visual Studio on an ARM64 machine ARM64) would only fail later,
    # in the link.
    if(NOT CMAKE_CXX_COMPILER_ARCHITECTURE_ID STREQUAL "x64")
        message(FATAL_ERROR "tagloomsmith builds for x64 only, and this MSVC configure targets "
            "'${CMAKE_CXX_COMPILER_ARCHITECTURE_ID}': configure a new build folder for x64 "
            "(cmake -A x64 with the Visual Studio generator, or from an x64 Native Tools "
            "Command Prompt). The x64 tool serves builds for any target.")
    endif()
    # CMake's Debug flags hold /RTC1, whose checks call into the C runtime
    # (_RTC_InitBase, _RTC_CheckStackVars) that the tool does not link. They
    # go from this folder's flags alone: a project that adds ours keeps them.
    set(configs "" ${CMAKE_CONFIGURATION_TYPES} ${CMAKE_BUILD_TYPE} Debug Release RelWithDebInfo
        MinSizeRel)
    list(TRANSFORM configs TOUPPER)
    list(REMOVE_DUPLICATES configs)
    foreach(language C CXX)
        foreach(config IN LISTS configs)
            if(config)
                set(variable CMAKE_${language}_FLAGS_${config})
            else()
                set(variable CMAKE_${language}_FLAGS)
            endif()
            string(REGEX REPLACE "(^| )[/-]RTC[1csu]+" "" ${variable} "${${variable}}")
        endforeach()
    endforeach()
    foreach(target IN LISTS tagloomsmith_targets)
        # No security cookie and no stack probes (both live in the runtime),
        # no default library named in the objects.
        target_compile_options(${target} PRIVATE /GS- /Gs1000000000 /Zl)
    endforeach()
    target_link_options(tagloomsmith PRIVATE
        /NODEFAULTLIB /ENTRY:process_entry /SUBSYSTEM:CONSOLE /STACK:0x100000,0x100000
        /MANIFEST:NO)
    # The Windows SDK's kernel32.lib, or the import library a toolchain file
    # names (mingw-w64's libkernel32.a with clang-cl on Linux).
    if(NOT TAGLOOMSMITH_KERNEL32_LIBRARY)
        set(TAGLOOMSMITH_KERNEL32_LIBRARY kernel32)
    endif()
    target_link_libraries(tagloomsmith PRIVATE "${TAGLOOMSMITH_KERNEL32_LIBRARY}")
else()
    foreach(target IN LISTS tagloomsmith_targets)
        target_compile_options(${target} PRIVATE -mno-stack-arg-probe
                               -fno-tree-loop-distribute-patterns)
    endforeach()
    target_link_options(tagloomsmith PRIVATE
        -nostdlib -nostartfiles -static
        -Wl,--entry,process_entry
        -Wl,--subsystem,console
        "SHELL:-Xlinker --stack=0x100000,0x100000")
    target_link_libraries(tagloomsmith PRIVATE kernel32)
endif()
