# An MSVC-style build for 64-bit Windows: clang-cl and lld-link (Debian's
# clang-tools and lld), with mingw-w64's Windows headers and KERNEL32 import
# library, so that the MSVC code paths build and run here (under Wine).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
find_program(CMAKE_C_COMPILER NAMES clang-cl clang-cl-14 REQUIRED)
set(CMAKE_CXX_COMPILER ${CMAKE_C_COMPILER})
find_program(CMAKE_LINKER NAMES lld-link lld-link-14 REQUIRED)
find_program(CMAKE_AR NAMES llvm-lib llvm-lib-14 REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES llvm-rc llvm-rc-14)
find_program(CMAKE_MT NAMES llvm-mt llvm-mt-14)
set(TAGLOOMSMITH_MINGW_ROOT /usr/x86_64-w64-mingw32)
# mingw-w64's headers keep their vector types only for a GNU-compatible
# compiler; clang-cl in its MSVC mode says it is one with this.
set(flags "--target=x86_64-pc-windows-msvc /clang:-fgnuc-version=4.2.1 -imsvc ${TAGLOOMSMITH_MINGW_ROOT}/include")
set(CMAKE_C_FLAGS_INIT "${flags}")
set(CMAKE_CXX_FLAGS_INIT "${flags}")
# No MSVC libraries here: the tool links mingw's libkernel32.a, and
# CMake's default list (kernel32.lib user32.lib ...) names files that are
# not on this machine.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(TAGLOOMSMITH_KERNEL32_LIBRARY ${TAGLOOMSMITH_MINGW_ROOT}/lib/libkernel32.a)
set(CMAKE_FIND_ROOT_PATH ${TAGLOOMSMITH_MINGW_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# There is no C runtime to link a test program against: CMake's compiler
# checks build a library instead.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
