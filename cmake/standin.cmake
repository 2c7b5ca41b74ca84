# box_standin(<name> <core sources>...): a stand-in that takes over calls of
# a program through interpose.cpp beside the sources, built three ways:
#   <name>_core    the stand-in's own state (journal, files, scripted answers)
#   <name>_linked  linked into a test binary, it takes over for that whole
#                  process (an object library, so the linker keeps it)
#   <name>         the preload library for unchanged programs, in <build>/lib;
#                  plain build only, as a sanitizer runtime does not combine
#                  with LD_PRELOAD
function(box_standin name)
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  add_library(${name}_core STATIC ${ARGN})
  set_target_properties(${name}_core PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_include_directories(${name}_core PUBLIC ${dir})
  target_link_libraries(${name}_core PUBLIC Threads::Threads ${CMAKE_DL_LIBS})

  add_library(${name}_linked OBJECT ${dir}/interpose.cpp)
  target_link_libraries(${name}_linked PUBLIC ${name}_core)

  if(BOX_SANITIZE STREQUAL "")
    add_library(${name} SHARED ${dir}/interpose.cpp)
    target_link_libraries(${name} PRIVATE ${name}_core)
    set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  endif()
endfunction()
