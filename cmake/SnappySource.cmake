# Snappy compiled from Debian's own source package (its patches applied) and
# linked statically: by the cross compiler for the Windows build, and with the
# fuzzing instrumentation for the fuzz build, so that the decoder's own reads
# are watched too. No copy of its code lives in this repository.
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

# Without sys/uio.h (Windows) Snappy declares its own iovec.
if(WIN32)
  set(HAVE_SYS_UIO_H_01 0)
else()
  set(HAVE_SYS_UIO_H_01 1)
endif()
set(PROJECT_VERSION_MAJOR 1)
set(PROJECT_VERSION_MINOR 1)
set(PROJECT_VERSION_PATCH 9)
configure_file(${SETUP_SNAPPY_SOURCE_DIR}/snappy-stubs-public.h.in
               ${CMAKE_BINARY_DIR}/_deps/snappy-include/snappy-stubs-public.h)

add_library(snappy_source STATIC
  ${SETUP_SNAPPY_SOURCE_DIR}/snappy.cc
  ${SETUP_SNAPPY_SOURCE_DIR}/snappy-sinksource.cc
  ${SETUP_SNAPPY_SOURCE_DIR}/snappy-stubs-internal.cc
  ${SETUP_SNAPPY_SOURCE_DIR}/snappy-c.cc)
target_include_directories(snappy_source SYSTEM PUBLIC
  ${SETUP_SNAPPY_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/snappy-include)
# Without its config.h these stay off, leaving asserts on and bit scans as loops.
target_compile_definitions(snappy_source PRIVATE
  NDEBUG HAVE_BUILTIN_CTZ HAVE_BUILTIN_EXPECT HAVE_ATTRIBUTE_ALWAYS_INLINE)
target_compile_options(snappy_source PRIVATE -O2 -w)
if(SETUP_FUZZ)
  # Its pattern copy reads dst[i - offset] with an unsigned offset: the byte is
  # inside the output (AddressSanitizer checks that), but the index wraps,
  # which UndefinedBehaviorSanitizer reports as a pointer overflow.
  target_compile_options(snappy_source PRIVATE -fno-sanitize=pointer-overflow)
endif()
add_library(Snappy::snappy ALIAS snappy_source)
