# CMake toolchain: ARM64 Windows (MinGW ABI) through zig 0.11.
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/zig-aarch64-windows-gnu.cmake
# Executables built here run under the ARM64 runner (Debian's arm64 Wine
# emulated by qemu-user, scripts/setup.sh arm64): add_test() launches them
# through scripts/wine-run-arm64.sh.
set(LMVX_ZIG_TARGET aarch64-windows-gnu)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
include("${CMAKE_CURRENT_LIST_DIR}/zig-windows-common.cmake")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run-arm64.sh")
