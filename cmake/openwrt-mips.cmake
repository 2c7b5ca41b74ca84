# Cross build for the box (big-endian MIPS, uClibc) with an OpenWrt SDK:
#   export STAGING_DIR=<sdk>/staging_dir
#   cmake -S . -B build-mips -DCMAKE_TOOLCHAIN_FILE=cmake/openwrt-mips.cmake \
#         -DOPENWRT_TOOLCHAIN=$STAGING_DIR/toolchain-mips_24kc_gcc-<ver>_musl \
#         -DOPENWRT_TARGET=$STAGING_DIR/target-mips_24kc_musl
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)

if(NOT OPENWRT_TOOLCHAIN OR NOT OPENWRT_TARGET)
  message(FATAL_ERROR "set OPENWRT_TOOLCHAIN and OPENWRT_TARGET to the SDK's staging dirs")
endif()
file(GLOB _cc "${OPENWRT_TOOLCHAIN}/bin/mips*-openwrt-linux-*gcc")
file(GLOB _cxx "${OPENWRT_TOOLCHAIN}/bin/mips*-openwrt-linux-*g++")
set(CMAKE_C_COMPILER ${_cc})
set(CMAKE_CXX_COMPILER ${_cxx})

set(CMAKE_FIND_ROOT_PATH ${OPENWRT_TARGET} ${OPENWRT_TARGET}/usr)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${OPENWRT_TARGET})
set(ENV{PKG_CONFIG_LIBDIR} ${OPENWRT_TARGET}/usr/lib/pkgconfig)
