# CMake toolchain: x86_64 Windows (MinGW ABI) through zig 0.11.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/zig-x86_64-windows-gnu.cmake
# Executables built here run under Wine: add_test() and gtest_discover_tests()
# launch them through scripts/wine-run.sh.
set(LMVX_ZIG_TARGET x86_64-windows-gnu)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include("${CMAKE_CURRENT_LIST_DIR}/zig-windows-common.cmake")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
