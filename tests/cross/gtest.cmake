# GoogleTest for a cross build: the target's own when its sysroot has one,
# else built here from the sources Debian's libgtest-dev ships.
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  set(BOX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for a cross build")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${BOX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Not our code: its warnings must not fail a -Werror build.
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()
