# Libraries a cross sysroot lacks (Debian has no big-endian MIPS packages),
# built from Debian source packages that setup.sh fetches into build-src/
# (never committed). Each stands in under the name the PC build uses.
set(BOX_FETCHED_SOURCES ${CMAKE_SOURCE_DIR}/build-src CACHE PATH
    "Folder holding unpacked Debian source packages for a cross build")

# First folder <BOX_FETCHED_SOURCES>/<package>-<version> holding <file>, or "".
function(box_fetched_dir var package file)
  file(GLOB dirs LIST_DIRECTORIES true ${BOX_FETCHED_SOURCES}/${package}-*)
  set(${var} "" PARENT_SCOPE)
  foreach(d IN LISTS dirs)
    if(IS_DIRECTORY ${d} AND EXISTS ${d}/${file})
      set(${var} ${d} PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()

set(_inc ${CMAKE_BINARY_DIR}/fetched/include)

if(NOT TARGET PkgConfig::CJSON)
  box_fetched_dir(_dir cjson cJSON.c)
  if(_dir)
    # The programs include <cjson/cJSON.h>, as the packaged header lies.
    configure_file(${_dir}/cJSON.h ${_inc}/cjson/cJSON.h COPYONLY)
    add_library(box_fetched_cjson STATIC ${_dir}/cJSON.c)
    target_include_directories(box_fetched_cjson SYSTEM PUBLIC ${_inc})
    target_compile_options(box_fetched_cjson PRIVATE -w)
    add_library(PkgConfig::CJSON ALIAS box_fetched_cjson)
    message(STATUS "cJSON: built from ${_dir}")
  else()
    message(STATUS "cJSON: none for this target (no source in ${BOX_FETCHED_SOURCES}); its users stay out")
  endif()
endif()

if(NOT TARGET box_iw)
  box_fetched_dir(_dir wireless-tools iwlib.c)
  if(_dir)
    # The wireless extensions header matching the library's version, as its
    # own Makefile picks it.
    file(STRINGS ${_dir}/iwlib.h _we REGEX "^#define[ \t]+WE_VERSION[ \t]+[0-9]+")
    string(REGEX REPLACE ".*WE_VERSION[ \t]+([0-9]+).*" "\\1" _we "${_we}")
    configure_file(${_dir}/wireless.${_we}.h ${_inc}/iw/wireless.h COPYONLY)
    configure_file(${_dir}/iwlib.h ${_inc}/iw/iwlib.h COPYONLY)
    add_library(box_iw STATIC ${_dir}/iwlib.c)
    target_include_directories(box_iw SYSTEM PUBLIC ${_inc}/iw)
    target_include_directories(box_iw PRIVATE ${_dir})
    target_compile_options(box_iw PRIVATE -w)
    target_link_libraries(box_iw PUBLIC m)
    message(STATUS "libiw: built from ${_dir}")
  else()
    message(STATUS "libiw: none for this target; its users stay out")
  endif()
endif()

if(NOT TARGET PkgConfig::FFMPEG)
  box_fetched_dir(_dir ffmpeg configure)
  if(_dir)
    include(${CMAKE_CURRENT_LIST_DIR}/ffmpeg-box.cmake)
    box_ffmpeg_build(${_dir})
  else()
    message(STATUS "FFmpeg: none for this target; dorvu and udisk_scan build only their FFmpeg-free cores")
  endif()
endif()
