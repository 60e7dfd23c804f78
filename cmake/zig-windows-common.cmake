# Shared part of the zig-<arch>-windows-gnu.cmake toolchain files.
# Input: LMVX_ZIG_TARGET (zig target triple), CMAKE_SYSTEM_PROCESSOR.
#
# C and C++ are compiled and linked by `zig cc` / `zig c++ -target <triple>`
# through the wrappers in cmake/zig/. Zig links its own libc++, libc++abi and
# libunwind statically and the MinGW-w64 CRT, so the outputs depend only on
# system DLLs. zig is found from $ENV{ZIG} or <repo>/.tools/zig.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10.0)

set(_lmvx_zig_dir "${CMAKE_CURRENT_LIST_DIR}/zig")
set(CMAKE_C_COMPILER   "${_lmvx_zig_dir}/${LMVX_ZIG_TARGET}-cc")
set(CMAKE_CXX_COMPILER "${_lmvx_zig_dir}/${LMVX_ZIG_TARGET}-c++")
set(CMAKE_AR     "${_lmvx_zig_dir}/zig-ar"     CACHE FILEPATH "zig ar" FORCE)
set(CMAKE_RANLIB "${_lmvx_zig_dir}/zig-ranlib" CACHE FILEPATH "zig ranlib" FORCE)

# zig builds the C runtime, and libc++ for C++, on the first link with a
# given optimisation: minutes on a new machine. CMake's compiler
# identification compiles without linking (a known target makes it try
# "-c --target=" first), and its test links use the build's own
# configuration, so the runtime they build is the one the build links.
set(CMAKE_C_COMPILER_TARGET ${LMVX_ZIG_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${LMVX_ZIG_TARGET})
if(CMAKE_BUILD_TYPE)
  set(CMAKE_TRY_COMPILE_CONFIGURATION ${CMAKE_BUILD_TYPE})
endif()
# FindThreads' answers for this runtime, known in advance: threads are
# Win32's and there is no pthread library to link. Asked by compiling
# alone (CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY), they would be wrong.
set(CMAKE_HAVE_LIBC_PTHREAD "" CACHE INTERNAL "")
set(CMAKE_HAVE_PTHREADS_CREATE "" CACHE INTERNAL "")
set(CMAKE_HAVE_PTHREAD_CREATE "" CACHE INTERNAL "")
set(THREADS_HAVE_PTHREAD_ARG FALSE CACHE INTERNAL "")
# Every link strips (-s), the test links too: zig keys its runtime builds
# on stripping as well. With LMVX_WINDOWS_SYMBOLS (the release) nothing is
# stripped: each DLL and program gets a CodeView PDB beside it, named in its
# debug directory; compile with -g for full symbols.
if(NOT LMVX_WINDOWS_SYMBOLS)
  set(CMAKE_EXE_LINKER_FLAGS_INIT -s)
  set(CMAKE_SHARED_LINKER_FLAGS_INIT -s)
endif()

# try_compile projects re-read this file; pass the triple on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LMVX_ZIG_TARGET LMVX_WINDOWS_SYMBOLS)

# Never pick up the build host's libraries or headers (e.g. Debian's Linux
# GoogleTest); host programs such as llvm-rc are still found.
set(CMAKE_FIND_ROOT_PATH "${CMAKE_CURRENT_LIST_DIR}/../.tools/no-sysroot")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
