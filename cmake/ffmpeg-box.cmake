# FFmpeg for the box's CPU from Debian's source package, configured as the
# box's OpenWrt package configures FFmpeg's release source: the choices (what
# to build, and no FPU, DSP or inline-assembly paths) live in
# openwrt/ffmpeg-box/box-ffmpeg.mk, read here. Built once per build tree
# (ExternalProject keeps its stamps in the tree) and installed into
# <build>/fetched/ffmpeg, as static libraries, or as shared ones with
# BOX_FFMPEG_SHARED (as the package links them; bench/sizes.sh uses that).
include(ExternalProject)

option(BOX_FFMPEG_SHARED "Build the fetched FFmpeg as shared libraries" OFF)

# Sets each BOX_FFMPEG_* list of the make fragment: "NAME := words" starts
# it, "NAME += words" extends it.
function(box_ffmpeg_read_choices file)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  file(STRINGS ${file} lines REGEX "^BOX_FFMPEG_[A-Z]+ *[:+]=")
  set(names)
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^(BOX_FFMPEG_[A-Z]+) *([:+])= *(.*)$")
      message(FATAL_ERROR "${file}: cannot read \"${line}\"")
    endif()
    set(name ${CMAKE_MATCH_1})
    set(op ${CMAKE_MATCH_2})
    separate_arguments(words UNIX_COMMAND "${CMAKE_MATCH_3}")
    if(op STREQUAL ":")
      set(${name} ${words})
      list(APPEND names ${name})
    else()
      list(APPEND ${name} ${words})
    endif()
  endforeach()
  foreach(name BOX_FFMPEG_OPTIONS BOX_FFMPEG_DECODERS BOX_FFMPEG_DEMUXERS BOX_FFMPEG_PARSERS
               BOX_FFMPEG_PROTOCOLS)
    if(NOT ${name})
      message(FATAL_ERROR "${file}: no ${name}")
    endif()
  endforeach()
  foreach(name IN LISTS names)
    set(${name} ${${name}} PARENT_SCOPE)
  endforeach()
endfunction()

box_ffmpeg_read_choices(${CMAKE_CURRENT_LIST_DIR}/../openwrt/ffmpeg-box/box-ffmpeg.mk)
# With the tests, also what their own files hold beyond the box's formats:
# two audio streams in Matroska, planar PCM in NUT, Vorbis in Ogg (the
# decoder formats no box song gives, and one the player refuses).
if(BOX_TESTS)
  list(APPEND BOX_FFMPEG_DECODERS pcm_s8_planar pcm_s16le_planar pcm_s24le_planar pcm_s64le vorbis)
  list(APPEND BOX_FFMPEG_DEMUXERS matroska nut ogg)
  list(APPEND BOX_FFMPEG_PARSERS vorbis)
endif()

function(box_ffmpeg_build src)
  set(prefix ${CMAKE_BINARY_DIR}/fetched/ffmpeg)
  string(REPLACE ";" "," decoders "${BOX_FFMPEG_DECODERS}")
  string(REPLACE ";" "," demuxers "${BOX_FFMPEG_DEMUXERS}")
  string(REPLACE ";" "," parsers "${BOX_FFMPEG_PARSERS}")
  string(REPLACE ";" "," protocols "${BOX_FFMPEG_PROTOCOLS}")
  if(BOX_FFMPEG_SHARED)
    set(kind --disable-static --enable-shared)
    set(suffix ${CMAKE_SHARED_LIBRARY_SUFFIX})
  else()
    set(kind --enable-static --disable-shared)
    set(suffix ${CMAKE_STATIC_LIBRARY_SUFFIX})
  endif()
  # Nice: the library is by far the biggest compile job of the tree. (The
  # logged steps run outside the generator's make, so no jobserver.)
  set(make nice make -j2)
  set(libs)
  foreach(l avformat avcodec avutil)
    list(APPEND libs ${prefix}/lib/lib${l}${suffix})
  endforeach()
  ExternalProject_Add(box_ffmpeg
    SOURCE_DIR ${src}
    BINARY_DIR ${CMAKE_BINARY_DIR}/fetched/ffmpeg-build
    INSTALL_DIR ${prefix}
    STAMP_DIR ${CMAKE_BINARY_DIR}/fetched/ffmpeg-stamp
    CONFIGURE_COMMAND nice ${src}/configure --prefix=${prefix}
      --enable-cross-compile --cross-prefix=mips-linux-gnu- --cc=${CMAKE_C_COMPILER}
      --arch=mips --cpu=24kc --target-os=linux --pkg-config=false
      ${kind} --enable-pic ${BOX_FFMPEG_OPTIONS}
      "--extra-cflags=-ffunction-sections -fdata-sections"
      --enable-decoder=${decoders} --enable-demuxer=${demuxers} --enable-parser=${parsers}
      --enable-protocol=${protocols}
    BUILD_COMMAND ${make}
    INSTALL_COMMAND ${make} install
    BUILD_BYPRODUCTS ${libs}
    LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)

  file(MAKE_DIRECTORY ${prefix}/include)
  add_library(box_fetched_ffmpeg INTERFACE)
  target_include_directories(box_fetched_ffmpeg SYSTEM INTERFACE ${prefix}/include)
  target_link_libraries(box_fetched_ffmpeg INTERFACE ${libs} m Threads::Threads)
  # An interface library's dependencies pass on to whatever links it.
  add_dependencies(box_fetched_ffmpeg box_ffmpeg)
  add_library(PkgConfig::FFMPEG ALIAS box_fetched_ffmpeg)
  message(STATUS "FFmpeg: built from ${src} (${decoders})")
endfunction()
