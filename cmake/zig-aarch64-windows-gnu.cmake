# CMake toolchain: ARM64 Windows (MinGW ABI) through zig 0.11.
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/zig-aarch64-windows-gnu.cmake
# ARM64 binaries cannot run on this machine; check them statically
# (llvm-readobj --coff-exports --coff-imports --coff-resources).
set(LMVX_ZIG_TARGET aarch64-windows-gnu)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
include("${CMAKE_CURRENT_LIST_DIR}/zig-windows-common.cmake")
