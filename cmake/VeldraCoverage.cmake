# gcov instrumentation of the library, and the target `coverage`, which
# prints the line and branch coverage of its sources with gcovr after the
# tests have run:
#   cmake --workflow --preset coverage
# Only the library is instrumented: the figure is about src/vm, and the
# tests and the demo would only slow the build and the report.
include_guard(GLOBAL)

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  message(FATAL_ERROR "VELDRA_COVERAGE needs GCC (gcov)")
endif()

target_compile_options(veldra_objects PRIVATE --coverage)
# Whatever links the library needs the gcov runtime, consumers included.
# The programs of this build also keep the counts of a run that aborts.
foreach(veldra_linked IN ITEMS veldra veldra_internal)
  target_link_options(${veldra_linked} PUBLIC --coverage)
  target_sources(${veldra_linked} INTERFACE
    $<BUILD_INTERFACE:${CMAKE_CURRENT_LIST_DIR}/coveragedump.cpp>)
endforeach()

# Counters add up across runs: every configure, and so every run of the
# workflow, starts from zero.
file(GLOB_RECURSE veldra_stale_counts ${PROJECT_BINARY_DIR}/*.gcda)
if(veldra_stale_counts)
  file(REMOVE ${veldra_stale_counts})
endif()

find_program(VELDRA_GCOVR gcovr)
if(NOT VELDRA_GCOVR)
  set(veldra_no_gcovr "gcovr not found (Debian: gcovr): no coverage report")
  message(WARNING "${veldra_no_gcovr}")
  add_custom_target(coverage
    COMMAND ${CMAKE_COMMAND} -E echo "${veldra_no_gcovr}"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
  return()
endif()

# Exceptions add a branch to nearly every call, and the compiler adds some
# that no source can take: both are left out of the branch figure.  The
# counters are searched for in this build tree alone (the source tree may
# hold other builds); the annotated sources go to coverage/index.html.
# Below 95 % of the lines the target fails.
add_custom_target(coverage
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/coverage
  COMMAND ${VELDRA_GCOVR}
          --root ${PROJECT_SOURCE_DIR}
          --object-directory ${PROJECT_BINARY_DIR}
          --filter src/vm/
          --exclude src/vm/main\\.cpp
          --exclude-throw-branches
          --exclude-unreachable-branches
          --txt
          --print-summary
          --fail-under-line 95
          --html-details ${PROJECT_BINARY_DIR}/coverage/index.html
          ${PROJECT_BINARY_DIR}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  USES_TERMINAL
  VERBATIM)
