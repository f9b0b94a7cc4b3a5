# Windows test programs: GoogleTest cross-compiled from the source that Debian
# ships, run by wine inside Xvfb with a private prefix booted once per run.
include_guard(GLOBAL)

set(SETUP_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "Debian's googletest source")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${SETUP_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
add_library(setup_gtest_main ALIAS gtest_main)

set(SETUP_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(SETUP_WINE_ENV ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh)

add_test(NAME wine.start COMMAND ${SETUP_WINE_ENV} start ${SETUP_WINE_DIR})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
add_test(NAME wine.stop COMMAND ${SETUP_WINE_ENV} stop ${SETUP_WINE_DIR})
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)

# Runs a command inside the wine environment; the test needs the fixture.
function(setup_wine_command name)
  add_test(NAME ${name} COMMAND ${SETUP_WINE_ENV} run ${SETUP_WINE_DIR} ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
endfunction()

# One CTest test per Windows test program; it runs all of its cases, and
# fails when the program ends before the last one, whatever its exit code.
function(setup_wine_test target)
  setup_wine_command(${target} ${CMAKE_SOURCE_DIR}/scripts/wine-gtest.sh $<TARGET_FILE:${target}>
                     --gtest_brief=0)
endfunction()
