# talvo_library(NAME SOURCES... [LINKS libs...])
#   A widget-free subsystem library; includes are rooted at src/ ("link/CommandFrame.h").
function(talvo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC Qt6::Core ${ARG_LINKS})
endfunction()

# talvo_test(NAME SOURCES... LINKS libs...)
#   One GoogleTest executable, its cases registered with CTest one by one. Its main creates a
#   QCoreApplication first, so cases that run processes or event loops need nothing of their own.
function(talvo_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${PROJECT_SOURCE_DIR}/tests/support/CoreTestMain.cpp ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock ${ARG_LINKS} talvo_link)
  target_compile_definitions(${name} PRIVATE TALVO_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  # Cases are named by their own name generators; a dump of the parameter would make the names
  # change from build to build.
  gtest_discover_tests(${name} NO_PRETTY_VALUES DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()

# talvo_bench(NAME SOURCES... LINKS libs...)
function(talvo_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE benchmark::benchmark ${ARG_LINKS})
endfunction()
