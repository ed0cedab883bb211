include(${CMAKE_CURRENT_LIST_DIR}/TalvoSuites.cmake)

# talvo_library(NAME SOURCES... [LINKS libs...])
#   A widget-free subsystem library; includes are rooted at src/ ("link/CommandFrame.h").
function(talvo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC Qt6::Core ${ARG_LINKS})
endfunction()

# talvo_test(NAME SOURCES... LINKS libs...)
#   One GoogleTest executable, registered with CTest one test suite at a time
#   (talvo_discover_suites). Its main creates a QCoreApplication first, so cases that run
#   processes or event loops need nothing of their own.
function(talvo_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${PROJECT_SOURCE_DIR}/tests/support/CoreTestMain.cpp ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock ${ARG_LINKS} talvo_link)
  target_compile_definitions(${name} PRIVATE TALVO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  talvo_discover_suites(${name} PROPERTIES TIMEOUT 120)
endfunction()

# talvo_bench(NAME SOURCES... LINKS libs...)
function(talvo_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE benchmark::benchmark ${ARG_LINKS})
endfunction()
