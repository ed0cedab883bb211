# Run after a test executable is built (see TalvoSuites.cmake): lists its cases and writes OUT,
# a CTest file with one entry per test suite.
#   -D EXECUTABLE=... -D FILTER=... -D TIMEOUT=seconds at least -D PROPERTIES_FILE=... -D OUT=...

set(list_args --gtest_list_tests)
if(FILTER)
  list(APPEND list_args "--gtest_filter=${FILTER}")
endif()
execute_process(COMMAND "${EXECUTABLE}" ${list_args}
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status
                TIMEOUT 60)
if(NOT status EQUAL 0)
  file(REMOVE "${OUT}")
  message(FATAL_ERROR "${EXECUTABLE} could not list its tests (${status}):\n${errors}${listing}")
endif()

include("${PROPERTIES_FILE}")

# "Suite.  # TypeParam = ..." opens a suite, "  Case  # GetParam() = ..." is one of its cases.
string(REPLACE "\n" ";" lines "${listing}")
set(suites)
foreach(line IN LISTS lines)
  string(REGEX REPLACE " *#.*" "" line "${line}")
  if(line MATCHES "^([^ ].*)\\.$")
    set(suite "${CMAKE_MATCH_1}")
    list(APPEND suites "${suite}")
    set("cases_${suite}" 0)
  elseif(line MATCHES "^  [^ ]" AND suite)
    math(EXPR "cases_${suite}" "${cases_${suite}} + 1")
  endif()
endforeach()

set(content "# Written by TalvoSuitesAdd.cmake from ${EXECUTABLE} --gtest_list_tests\n")
foreach(suite IN LISTS suites)
  # A case's own budget for a suite of one, half a minute a case for a long suite: a hung case
  # is still caught, a long suite on a loaded machine is not cut short.
  math(EXPR timeout "30 * ${cases_${suite}}")
  if(timeout LESS TIMEOUT)
    set(timeout ${TIMEOUT})
  endif()
  if(timeout GREATER 1800)
    set(timeout 1800)
  endif()
  string(APPEND content
    "add_test([==[${suite}]==] [==[${EXECUTABLE}]==] [==[--gtest_filter=${suite}.*]==])\n"
    "set_tests_properties([==[${suite}]==] PROPERTIES TIMEOUT ${timeout}")
  if(suite_properties)
    foreach(item IN LISTS suite_properties)
      string(APPEND content " [==[${item}]==]")
    endforeach()
  endif()
  string(APPEND content ")\n")
endforeach()

# Written whole or not at all: ctest reading a half-written file would lose entries.
file(WRITE "${OUT}.new" "${content}")
file(RENAME "${OUT}.new" "${OUT}")
