# cmake -DDEMO=<veldra-demo> -DRUN_DIR=<dir> [-DEMULATOR=<command>]
#       -P run_demo.cmake
#
# Runs the demo in a fresh RUN_DIR and checks everything it is meant to do:
# its output (demo_output.txt beside this script, which test_demo reads
# too), its deliberate end through std::terminate, and the crash report that
# end writes to RUN_DIR/logs/veldra.log.
foreach(var IN ITEMS DEMO RUN_DIR)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "run_demo.cmake: ${var} not set")
  endif()
endforeach()

# The trace is only written when logs/ already exists under the working
# directory, so the folder is made here, fresh, for every run.
file(REMOVE_RECURSE ${RUN_DIR})
file(MAKE_DIRECTORY ${RUN_DIR}/logs)
set(report ${RUN_DIR}/logs/veldra.log)

# EMULATOR (qemu-user for a cross build) runs the demo when given.
execute_process(COMMAND ${EMULATOR} ${DEMO}
  WORKING_DIRECTORY ${RUN_DIR}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err)

string(REGEX REPLACE "\n$" "" shown "${out}")
message("${shown}")

file(READ ${CMAKE_CURRENT_LIST_DIR}/demo_output.txt expected)
if(NOT out STREQUAL expected)
  message(FATAL_ERROR
    "Unexpected demo output; wanted:\n${expected}stderr:\n${err}")
endif()
# A numeric result is an exit code, so the demo returned instead of
# terminating; a signal shows up as text such as "Child aborted".
if(result MATCHES "^-?[0-9]+$" OR NOT result MATCHES "[Aa]bort|[Ss]ignal")
  message(FATAL_ERROR
    "The demo should end through std::terminate, but ended with "
    "\"${result}\".\nstderr:\n${err}")
endif()
if(NOT EXISTS ${report})
  message(FATAL_ERROR "No crash report at ${report}.\nstderr:\n${err}")
endif()
file(READ ${report} log)
if(NOT log MATCHES "--- LOG END: NO FURTHER MESSAGES ---[^\n]*\n?$")
  message(FATAL_ERROR "${report} does not end with the LOG END line.")
endif()

message("Crash report written to ${report}")
message("The demo ends through std::terminate on purpose, to show the crash "
        "report; the abnormal end is by design.")
