# Cross build for the box (big-endian MIPS) with an OpenWrt SDK or buildroot:
#   export STAGING_DIR=<sdk>/staging_dir
#   cmake -S . -B build-mips -DCMAKE_TOOLCHAIN_FILE=cmake/openwrt-mips.cmake \
#         -DOPENWRT_TOOLCHAIN=$STAGING_DIR/toolchain-mips_24kc_gcc-<ver>_musl \
#         -DOPENWRT_TARGET=$STAGING_DIR/target-mips_24kc_musl [-DOPENWRT_LIBC=musl]
# OpenWrt's toolchains are built for musl (the default) or glibc; the bin
# folder holds each compiler twice (mips-openwrt-linux-gcc and
# mips-openwrt-linux-<libc>-gcc), so the one named for the C library is taken.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

set(OPENWRT_LIBC musl CACHE STRING "C library of the OpenWrt toolchain (musl or glibc)")
# try_compile projects see only what is listed here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OPENWRT_TOOLCHAIN OPENWRT_TARGET OPENWRT_LIBC)

if(NOT OPENWRT_TOOLCHAIN OR NOT OPENWRT_TARGET)
  message(FATAL_ERROR "set OPENWRT_TOOLCHAIN and OPENWRT_TARGET to the SDK's staging dirs")
endif()
if(NOT OPENWRT_LIBC MATCHES "^(musl|glibc)$")
  message(FATAL_ERROR "OPENWRT_LIBC is \"${OPENWRT_LIBC}\": OpenWrt's toolchains are musl or glibc")
endif()

# The big-endian MIPS compiler for the C library asked for, or a stop.
function(openwrt_compiler var tool)
  set(cc "${OPENWRT_TOOLCHAIN}/bin/mips-openwrt-linux-${OPENWRT_LIBC}-${tool}")
  if(NOT EXISTS "${cc}")
    file(GLOB all "${OPENWRT_TOOLCHAIN}/bin/*-${tool}")
    list(TRANSFORM all REPLACE ".*/" "")
    if(NOT all)
      set(all "none")
    endif()
    message(FATAL_ERROR "${OPENWRT_TOOLCHAIN}/bin has no mips-openwrt-linux-${OPENWRT_LIBC}-${tool} "
      "(there: ${all}): is it a big-endian MIPS ${OPENWRT_LIBC} toolchain? "
      "Set OPENWRT_LIBC to its C library.")
  endif()
  set(${var} ${cc} PARENT_SCOPE)
endfunction()
openwrt_compiler(CMAKE_C_COMPILER gcc)
openwrt_compiler(CMAKE_CXX_COMPILER g++)

set(CMAKE_FIND_ROOT_PATH ${OPENWRT_TARGET} ${OPENWRT_TARGET}/usr)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${OPENWRT_TARGET})
set(ENV{PKG_CONFIG_LIBDIR} ${OPENWRT_TARGET}/usr/lib/pkgconfig)
