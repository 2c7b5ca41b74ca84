# Cross build for the box's CPU (big-endian 32-bit MIPS) with Debian's cross
# compiler, tests run under user-mode emulation:
#   cmake -S . -B build-mips -DCMAKE_TOOLCHAIN_FILE=cmake/mips-linux-gnu.cmake
#   cmake --build build-mips && ctest --test-dir build-mips
# Debian has no libraries for this architecture; see cmake/deps.cmake for
# what is built from fetched sources and what stays out.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

set(CMAKE_C_COMPILER mips-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER mips-linux-gnu-g++)
set(BOX_MIPS_SYSROOT /usr/mips-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mips-static -L ${BOX_MIPS_SYSROOT})

set(CMAKE_FIND_ROOT_PATH ${BOX_MIPS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Only this architecture's .pc files, never the PC's.
set(ENV{PKG_CONFIG_LIBDIR} ${BOX_MIPS_SYSROOT}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
