# talvo_discover_suites(TARGET [TEST_FILTER FILTER] [PROPERTIES name value ...])
#
# Registers a GoogleTest executable with CTest one test suite at a time, as
# gtest_discover_tests does one case at a time: after each build the executable lists its cases
# and a CTest file with one entry per suite (named as the suite, run with
# --gtest_filter=SUITE.*) is written beside it.
#
# Why suites and not cases: each entry is a process of its own, and a process of this program's
# tests (sanitizers, Qt's start-up) costs about a sixth of a second of CPU before its first case
# runs. With some nine hundred cases that was a third of the suite's time. A failing entry's
# output names the failed cases ("[  FAILED  ] Suite.Case"); run one case alone with the
# executable's own --gtest_filter.
#
# TEST_FILTER narrows which cases are listed (GoogleTest's filter syntax, as
# gtest_discover_tests has it). PROPERTIES go to every entry; TIMEOUT there is the least an
# entry gets, and a suite of many cases gets half a minute for each.

set(_talvo_suites_script ${CMAKE_CURRENT_LIST_DIR}/TalvoSuitesAdd.cmake)

function(talvo_discover_suites target)
  cmake_parse_arguments(ARG "" "TEST_FILTER" "PROPERTIES" ${ARGN})
  set(timeout 120)
  set(properties)
  list(LENGTH ARG_PROPERTIES count)
  set(i 0)
  while(i LESS count)
    list(GET ARG_PROPERTIES ${i} name)
    math(EXPR j "${i} + 1")
    list(GET ARG_PROPERTIES ${j} value)
    if(name STREQUAL "TIMEOUT")
      set(timeout ${value})
    else()
      # Values go through a file: a list separator would split them.
      string(REPLACE ";" "\\;" value "${value}")
      list(APPEND properties "${name}" "${value}")
    endif()
    math(EXPR i "${i} + 2")
  endwhile()

  # One include file per call: an executable may be registered in parts with filters of their own.
  get_property(calls TARGET ${target} PROPERTY TALVO_SUITE_CALLS)
  if(NOT calls)
    set(calls 0)
  endif()
  math(EXPR calls "${calls} + 1")
  set_property(TARGET ${target} PROPERTY TALVO_SUITE_CALLS ${calls})
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites_${calls}.cmake")
  set(props_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites_${calls}_properties.cmake")
  file(WRITE "${props_file}" "set(suite_properties [==[${properties}]==])\n")

  add_custom_command(TARGET ${target} POST_BUILD
    BYPRODUCTS "${out}"
    COMMAND "${CMAKE_COMMAND}"
            -D "EXECUTABLE=$<TARGET_FILE:${target}>"
            -D "FILTER=${ARG_TEST_FILTER}"
            -D "TIMEOUT=${timeout}"
            -D "PROPERTIES_FILE=${props_file}"
            -D "OUT=${out}"
            -P "${_talvo_suites_script}"
    VERBATIM)
  # Read by ctest; until the first build the file is not there and nothing is registered.
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${out}")
endfunction()
