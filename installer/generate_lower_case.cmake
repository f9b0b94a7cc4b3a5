# Turns the simple lower-case mappings of UnicodeData.txt into runs
# {first, last, stride, delta}: every code point first, first + stride, ... up
# to last maps to itself + delta. About 1,400 mappings become a few hundred
# runs, because most of them come in blocks (A-Z) or alternate (Latin
# Extended-A: upper, lower, upper, ...).
#
#   cmake -DUNICODE_DATA=UnicodeData.txt -DOUTPUT=lower_case_table.inc -P generate_lower_case.cmake
#
# A CMake script rather than a program, so that a cross build needs no host tool.

if(NOT EXISTS "${UNICODE_DATA}")
  message(FATAL_ERROR "UnicodeData.txt not found at '${UNICODE_DATA}' (Debian package unicode-data)")
endif()

# Only lines with field 13 (simple lower-case mapping) filled in.
set(field "[^;]*;")
string(REPEAT "${field}" 12 middle)
file(STRINGS "${UNICODE_DATA}" lines REGEX "^[0-9A-F]+;${middle}[0-9A-F]+;")

set(runs "")
set(count 0)
set(first "")
macro(emit_run)
  if(NOT first STREQUAL "")
    if(stride EQUAL 0)
      set(stride 1)
    endif()
    math(EXPR hex_first "${first}" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR hex_last "${last}" OUTPUT_FORMAT HEXADECIMAL)
    string(APPEND runs "    {${hex_first}, ${hex_last}, ${stride}, ${delta}},\n")
    math(EXPR count "${count} + 1")
  endif()
endmacro()

foreach(line IN LISTS lines)
  string(REGEX MATCH "^([0-9A-F]+);${middle}([0-9A-F]+);" unused "${line}")
  math(EXPR code "0x${CMAKE_MATCH_1}")
  math(EXPR code_delta "0x${CMAKE_MATCH_2} - ${code}")
  set(extends FALSE)
  if(NOT first STREQUAL "" AND code_delta EQUAL delta)
    math(EXPR gap "${code} - ${last}")
    if((stride EQUAL 0 AND (gap EQUAL 1 OR gap EQUAL 2)) OR (NOT stride EQUAL 0 AND gap EQUAL stride))
      set(extends TRUE)
    endif()
  endif()
  if(extends)
    set(stride ${gap})
    set(last ${code})
  else()
    emit_run()
    set(first ${code})
    set(last ${code})
    set(stride 0)
    set(delta ${code_delta})
  endif()
endforeach()
emit_run()

if(count EQUAL 0)
  message(FATAL_ERROR "No lower-case mappings found in '${UNICODE_DATA}'")
endif()

file(WRITE "${OUTPUT}.tmp"
  "// Generated from UnicodeData.txt by generate_lower_case.cmake; do not edit.\n"
  "// {first, last, stride, delta}, sorted, not overlapping.\n"
  "static constexpr LowerCaseRun kLowerCaseRuns[${count}] = {\n${runs}};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
