# cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... -DCONFIG=...
#       -DGENERATOR=... -DCXX_COMPILER=... [-DCXX_FLAGS=...]
#       -DLIB_DIR=<libdir> -P run_consumer.cmake
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DSOURCE_DIR=... -DCONFIG=...
#       -DCXX_COMPILER=... [-DCXX_FLAGS=...] -DLIB_DIR=<libdir>
#       -DPKG_CONFIG=... -DPC_DIR=<libdir>/pkgconfig -P run_consumer.cmake
#
# Installs the veldra build in BUILD_DIR into WORK_DIR/prefix, then builds
# the program in SOURCE_DIR against it and runs it: as a CMake project
# through find_package, or, given PKG_CONFIG, as its main.cpp alone with
#   CXX_COMPILER CXX_FLAGS main.cpp $(pkg-config --cflags --libs veldra)
# CXX_FLAGS are the build's own (-stdlib=libc++, say), which a consumer
# needs too.  A shared veldra is found at run time through the prefix.
if(DEFINED PKG_CONFIG)
  set(required PKG_CONFIG PC_DIR)
else()
  set(required GENERATOR)
endif()
foreach(var IN ITEMS BUILD_DIR WORK_DIR SOURCE_DIR CXX_COMPILER LIB_DIR
                    ${required})
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

# The package must come from the scratch prefix, not from a system install.
function(check_found_in_prefix found)
  string(FIND "${found}" "${prefix}/" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "veldra found at ${found}, outside ${prefix}")
  endif()
endfunction()

# The system's fmt is built for the system's compiler flags: a consumer
# built with flags of its own (-stdlib=libc++) goes without it.
if(CXX_FLAGS)
  set(without_fmt -DCMAKE_DISABLE_FIND_PACKAGE_fmt=ON)
else()
  set(without_fmt "")
endif()

function(build_with_cmake)
  step("configure consumer" ${CMAKE_COMMAND}
    -S ${SOURCE_DIR} -B ${consumer_build} -G ${GENERATOR}
    -DCMAKE_BUILD_TYPE=${CONFIG}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
    -DCMAKE_PREFIX_PATH=${prefix}
    ${without_fmt}
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
  file(STRINGS ${consumer_build}/CMakeCache.txt found REGEX "^veldra_DIR:")
  string(REGEX REPLACE "^[^=]*=" "" found "${found}")
  check_found_in_prefix("${found}")
  step("build consumer" ${CMAKE_COMMAND} --build ${consumer_build}
    ${config_args})
endfunction()

# PKG_CONFIG_LIBDIR replaces pkg-config's default search path, so only the
# scratch prefix is searched.  The compile line is the one a user types.
function(build_with_pkgconfig)
  set(env ${CMAKE_COMMAND} -E env PKG_CONFIG_LIBDIR=${prefix}/${PC_DIR})
  execute_process(
    COMMAND ${env} ${PKG_CONFIG} --variable=includedir veldra
    OUTPUT_VARIABLE includedir
    OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  cmake_path(SET includedir NORMALIZE "${includedir}")
  check_found_in_prefix("${includedir}")
  file(MAKE_DIRECTORY ${consumer_build})
  step("build consumer" ${env} sh -c
    "\"$0\" $4 -o \"$1\" \"$2\" $(\"$3\" --cflags --libs veldra)"
    ${CXX_COMPILER} ${consumer_build}/consumer ${SOURCE_DIR}/main.cpp
    ${PKG_CONFIG} "${CXX_FLAGS}")
endfunction()

step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  ${config_args})
if(DEFINED PKG_CONFIG)
  build_with_pkgconfig()
else()
  build_with_cmake()
endif()
find_program(consumer_exe consumer
  PATHS ${consumer_build} ${consumer_build}/${CONFIG} NO_DEFAULT_PATH
  NO_CACHE REQUIRED)
step("run consumer" ${CMAKE_COMMAND} -E env
  "LD_LIBRARY_PATH=${prefix}/${LIB_DIR}" ${consumer_exe})
