# Snappy for the Windows build: Debian's own source package (its patches
# applied), compiled with the cross compiler and linked statically. No copy of
# its code lives in this repository.
include_guard(GLOBAL)

set(SETUP_SNAPPY_SOURCE_DIR "${CMAKE_BINARY_DIR}/_deps/snappy-src" CACHE PATH
    "Unpacked Debian source of snappy")
if(NOT EXISTS ${SETUP_SNAPPY_SOURCE_DIR}/snappy.cc)
  execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/fetch-snappy-source.sh ${SETUP_SNAPPY_SOURCE_DIR}
    RESULT_VARIABLE fetched)
  if(NOT fetched EQUAL 0 OR NOT EXISTS ${SETUP_SNAPPY_SOURCE_DIR}/snappy.cc)
    message(FATAL_ERROR "Could not fetch Debian's snappy source into ${SETUP_SNAPPY_SOURCE_DIR}")
  endif()
endif()

# Without sys/uio.h Snappy declares its own iovec.
set(HAVE_SYS_UIO_H_01 0)
set(PROJECT_VERSION_MAJOR 1)
set(PROJECT_VERSION_MINOR 1)
set(PROJECT_VERSION_PATCH 9)
configure_file(${SETUP_SNAPPY_SOURCE_DIR}/snappy-stubs-public.h.in
               ${CMAKE_BINARY_DIR}/_deps/snappy-include/snappy-stubs-public.h)

add_library(snappy_cross STATIC
  ${SETUP_SNAPPY_SOURCE_DIR}/snappy.cc
  ${SETUP_SNAPPY_SOURCE_DIR}/snappy-sinksource.cc
  ${SETUP_SNAPPY_SOURCE_DIR}/snappy-stubs-internal.cc
  ${SETUP_SNAPPY_SOURCE_DIR}/snappy-c.cc)
target_include_directories(snappy_cross SYSTEM PUBLIC
  ${SETUP_SNAPPY_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/snappy-include)
# Without its config.h these stay off, leaving asserts on and bit scans as loops.
target_compile_definitions(snappy_cross PRIVATE
  NDEBUG HAVE_BUILTIN_CTZ HAVE_BUILTIN_EXPECT HAVE_ATTRIBUTE_ALWAYS_INLINE)
target_compile_options(snappy_cross PRIVATE -O2 -w)
add_library(Snappy::snappy ALIAS snappy_cross)
