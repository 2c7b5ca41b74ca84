# Third-party libraries, all from the system (Debian packages on a PC, the
# OpenWrt SDK's staging dir when cross-compiling).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# The OpenWrt package links its own FFmpeg build (libffmpeg-box), installed
# under suffixed names beside any other FFmpeg of the firmware.
set(BOX_FFMPEG_PKG_SUFFIX "" CACHE STRING "Suffix of the FFmpeg libraries' pkg-config names")
if(CMAKE_CROSSCOMPILING)
  # A cross build takes what the target's sysroot has; program folders build
  # what their libraries allow (test with if(TARGET PkgConfig::FFMPEG) etc.).
  pkg_check_modules(FFMPEG IMPORTED_TARGET libavformat${BOX_FFMPEG_PKG_SUFFIX}
                    libavcodec${BOX_FFMPEG_PKG_SUFFIX} libavutil${BOX_FFMPEG_PKG_SUFFIX})
  if(BOX_FFMPEG_PKG_SUFFIX AND TARGET PkgConfig::FFMPEG)
    # Its headers' folder must come before the staging dir's include folder
    # (another FFmpeg's headers may lie there); a system folder would not.
    set_target_properties(PkgConfig::FFMPEG PROPERTIES SYSTEM OFF)
  endif()
  pkg_check_modules(CJSON IMPORTED_TARGET libcjson)
else()
  pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
  pkg_check_modules(CJSON REQUIRED IMPORTED_TARGET libcjson)
endif()

find_library(IW_LIBRARY iw)
find_path(IW_INCLUDE_DIR iwlib.h)
if(IW_LIBRARY AND IW_INCLUDE_DIR)
  add_library(box_iw INTERFACE)
  target_link_libraries(box_iw INTERFACE ${IW_LIBRARY})
  target_include_directories(box_iw INTERFACE ${IW_INCLUDE_DIR})
endif()

if(CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_LIST_DIR}/fetched.cmake)
endif()

# OpenWrt's libuci when present; otherwise host/ provides a stand-in target 'uci'.
find_library(UCI_LIBRARY uci)
find_path(UCI_INCLUDE_DIR uci.h)
if(UCI_LIBRARY AND UCI_INCLUDE_DIR)
  add_library(uci INTERFACE)
  target_link_libraries(uci INTERFACE ${UCI_LIBRARY})
  target_include_directories(uci INTERFACE ${UCI_INCLUDE_DIR})
  set(BOX_HAVE_REAL_UCI ON)
endif()
