# Compiler and linker flags shared by every target.

add_compile_options(-Wall -Wextra -ffunction-sections -fdata-sections
                    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>
                    $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
# 64-bit file offsets and inode numbers on the box's 32-bit CPU too: without
# them open() and stat() refuse files of 2 GiB and more, and readdir() fails
# (EOVERFLOW) on a file system whose entries do not fit 32 bits. (A 64-bit
# target has them anyway; there the macro would only rename the calls that
# the preload stand-ins replace.)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_compile_definitions(_FILE_OFFSET_BITS=64)
endif()
if(BOX_WERROR)
  add_compile_options(-Werror)
endif()
# clang checks the locking against the annotations (common/thread_safety.h):
# a lock taken out of order or guarded data touched without its lock is an
# error in every clang build. GCC has no such analysis.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wthread-safety>
                      $<$<COMPILE_LANGUAGE:CXX>:-Wthread-safety-beta>
                      $<$<COMPILE_LANGUAGE:CXX>:-Werror=thread-safety>
                      $<$<COMPILE_LANGUAGE:CXX>:-Werror=thread-safety-beta>)
endif()

if(BOX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -O1 -g)
  add_link_options(-fsanitize=address,undefined)
  # Coverage counters in every library, not only in the fuzz harnesses
  # (box_fuzz links those with -fsanitize=fuzzer): libFuzzer is guided by
  # the code a target calls. Other binaries link the sanitizer runtime's
  # empty hooks.
  add_compile_options($<$<COMPILE_LANG_AND_ID:C,Clang>:-fsanitize=fuzzer-no-link>
                      $<$<COMPILE_LANG_AND_ID:CXX,Clang>:-fsanitize=fuzzer-no-link>)
elseif(BOX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -O1 -g)
  add_link_options(-fsanitize=thread)
elseif(NOT BOX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "BOX_SANITIZE must be empty, 'address' or 'thread'")
endif()

# box_program(<target>): a shipped binary. Small: -Os (MinSizeRel), dead
# sections dropped, libstdc++ linked in statically so the box needs none.
function(box_program target)
  target_link_options(${target} PRIVATE -Wl,--gc-sections)
  if(BOX_SANITIZE STREQUAL "")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
    # Keeps libstdc++'s exception machinery out (sanitizers bring their own new/delete).
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/common/lean_runtime.cpp)
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  box_install_dir(dir ${target})
  install(TARGETS ${target} RUNTIME DESTINATION ${dir})
endfunction()

# Where each program lies on the box (below the install prefix, /usr there;
# the CGI folder is the box's web server's, absolute). The OpenWrt package
# (openwrt/music-box/Makefile) takes them from the same places.
set(BOX_DAEMONS dorvu wifi_survey wan_watch renderer_ctl wifi_watch)
set(BOX_CGI_DIR /usr/mips/cgi-bin CACHE PATH "The box's web server's CGI folder")
function(box_install_dir var target)
  if(target STREQUAL "fw_upgrade")
    set(${var} ${BOX_CGI_DIR} PARENT_SCOPE)
  elseif(target IN_LIST BOX_DAEMONS)
    set(${var} sbin PARENT_SCOPE)
  else()
    set(${var} bin PARENT_SCOPE)
  endif()
endfunction()
