# Flags shared by every target of ours: warnings as errors, sanitizers natively,
# a static and reproducible executable for Windows.

# Paths of the checkout and of the build tree must not reach the output bytes.
add_compile_options(
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
  -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)

if(WIN32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # One file, nothing beside it: libstdc++, libgcc and winpthread go inside.
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
  # -O2, not -O3: start-up and installation wait on the system, not on our code,
  # and -O3's unrolled and inlined copies add some 45 KB to setup.exe.
  foreach(lang C CXX)
    string(REPLACE "-O3" "-O2" CMAKE_${lang}_FLAGS_RELEASE "${CMAKE_${lang}_FLAGS_RELEASE}")
  endforeach()
elseif(SETUP_FUZZ)
  # Coverage for libFuzzer in every library; the targets link the fuzzer.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
elseif(SETUP_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

function(setup_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror -Wshadow
                                           -Wnon-virtual-dtor -Wno-missing-field-initializers
                                           # GCC 12 misreports std::string concatenation.
                                           $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()

# A library of ours: sources, warnings, the repository root on the include path.
function(setup_library name)
  add_library(${name} STATIC ${ARGN})
  setup_warnings(${name})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
endfunction()

function(setup_executable name)
  add_executable(${name} ${ARGN})
  setup_warnings(${name})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
endfunction()
