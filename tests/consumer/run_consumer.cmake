# cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... -DCONFIG=...
#       -DGENERATOR=... -DCXX_COMPILER=... -P run_consumer.cmake
#
# Installs the veldra build in BUILD_DIR into WORK_DIR/prefix, then
# configures, builds and runs the project in SOURCE_DIR against it.
foreach(var IN ITEMS BUILD_DIR WORK_DIR SOURCE_DIR GENERATOR CXX_COMPILER)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "run_consumer.cmake: ${var} not set")
  endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/build)
file(REMOVE_RECURSE ${WORK_DIR})

# Runs one step, echoing it; any failure ends the script with its output.
function(step what)
  list(JOIN ARGN " " command)
  message(STATUS "${what}: ${command}")
  execute_process(COMMAND ${ARGN}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE out
    ERROR_VARIABLE out)
  if(NOT result STREQUAL "0")
    message(FATAL_ERROR "${what} failed (${result}):\n${out}")
  endif()
endfunction()

if(CONFIG STREQUAL "")
  set(config_args "")
else()
  set(config_args --config ${CONFIG})
endif()

step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  ${config_args})
step("configure consumer" ${CMAKE_COMMAND}
  -S ${SOURCE_DIR} -B ${consumer_build} -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=${CONFIG}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)

# The package must come from the scratch prefix, not from a system install.
file(STRINGS ${consumer_build}/CMakeCache.txt found REGEX "^veldra_DIR:")
string(REGEX REPLACE "^[^=]*=" "" found "${found}")
string(FIND "${found}" "${prefix}/" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "veldra found at ${found}, outside ${prefix}")
endif()

step("build consumer" ${CMAKE_COMMAND} --build ${consumer_build}
  ${config_args})
find_program(consumer_exe consumer
  PATHS ${consumer_build} ${consumer_build}/${CONFIG} NO_DEFAULT_PATH
  NO_CACHE REQUIRED)
step("run consumer" ${consumer_exe})
