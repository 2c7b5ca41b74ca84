# FFmpeg for the box's CPU from Debian's source package, configured as a
# firmware engineer configures OpenWrt's custom variant for a CPU without FPU:
# small, everything off, then only what the nine music extensions need, and
# no MIPS FPU, DSP or inline-assembly paths. Built once per build tree
# (ExternalProject keeps its stamps in the tree) and installed into
# <build>/fetched/ffmpeg, as static libraries, or as shared ones with
# BOX_FFMPEG_SHARED (as the package links them; bench/sizes.sh uses that).
include(ExternalProject)

option(BOX_FFMPEG_SHARED "Build the fetched FFmpeg as shared libraries" OFF)

# What the box's songs need: the decoders (fixed-point where FFmpeg has one),
# the PCM kinds a WAV file holds, demuxers and parsers for the nine
# extensions, and the file protocol.
set(BOX_FFMPEG_DECODERS mp3 mp2 flac wmav1 wmav2 aac_fixed ac3_fixed ape
    pcm_u8 pcm_s16le pcm_s24le pcm_s32le pcm_f32le pcm_f64le pcm_alaw pcm_mulaw)
set(BOX_FFMPEG_DEMUXERS mp3 flac asf mov aac ac3 ape wav)
set(BOX_FFMPEG_PARSERS mpegaudio flac aac ac3)
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
      ${kind} --enable-pic --enable-small --disable-debug --disable-autodetect
      --disable-everything --disable-programs --disable-doc --disable-network
      --disable-avdevice --disable-avfilter --disable-swresample --disable-swscale --disable-postproc
      --disable-mipsfpu --disable-mipsdsp --disable-mipsdspr2 --disable-msa --disable-mmi
      --disable-mips32r5 --disable-mips32r6 --disable-mips64r6 --disable-inline-asm
      --disable-runtime-cpudetect
      "--extra-cflags=-ffunction-sections -fdata-sections"
      --enable-decoder=${decoders} --enable-demuxer=${demuxers} --enable-parser=${parsers}
      --enable-protocol=file
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
