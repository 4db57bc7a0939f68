# tagloomsmith.exe has no runtime library at all: the OS enters it at
# process_entry and it imports KERNEL32.dll alone. The whole stack is
# committed up front, so no frame needs a stack probe.
foreach(library tagloomsmith_base tagloomsmith_tool)
    target_compile_options(${library} PRIVATE -mno-stack-arg-probe -fno-tree-loop-distribute-patterns)
endforeach()
target_compile_options(tagloomsmith PRIVATE -mno-stack-arg-probe -fno-tree-loop-distribute-patterns)
target_link_options(tagloomsmith PRIVATE
    -nostdlib -nostartfiles -static
    -Wl,--entry,process_entry
    -Wl,--subsystem,console
    "SHELL:-Xlinker --stack=0x100000,0x100000")
target_link_libraries(tagloomsmith PRIVATE kernel32)
