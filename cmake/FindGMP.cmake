# find_package(GMP [REQUIRED]): GMP, the exact reference of the tests,
# benchmarks and fuzzers (never of the library).  Debian ships no CMake
# package for it, hence this module.  Sets GMP_FOUND, GMP_HINT (how to get
# it when not found) and, when found, defines the target veldra_gmp.
#
# Where no GMP is built for the target (mingw-w64 on Debian), the cache
# variable VELDRA_MINI_GMP_DIR names a copy of the mini-gmp directory of
# GMP's sources (scripts/fetch_mini_gmp.sh fetches it): veldra_gmp is then
# built from its mini-gmp.c and mini-mpq.c, a subset of GMP's interface
# holding all that the tests use.
set(VELDRA_MINI_GMP_DIR "" CACHE PATH
    "GMP's mini-gmp sources to build for the target instead of GMP")

if(VELDRA_MINI_GMP_DIR)
  find_path(GMP_INCLUDE_DIR mini-gmp.h
            PATHS ${VELDRA_MINI_GMP_DIR} NO_DEFAULT_PATH)
  find_file(GMP_SOURCE mini-gmp.c
            PATHS ${VELDRA_MINI_GMP_DIR} NO_DEFAULT_PATH)
  set(gmp_required GMP_SOURCE GMP_INCLUDE_DIR)
  set(GMP_HINT "run scripts/fetch_mini_gmp.sh for ${VELDRA_MINI_GMP_DIR}")
else()
  find_path(GMP_INCLUDE_DIR gmp.h)
  find_library(GMP_LIBRARY gmp)
  set(gmp_required GMP_LIBRARY GMP_INCLUDE_DIR)
  set(GMP_HINT "Debian: libgmp-dev")
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(GMP
  REQUIRED_VARS ${gmp_required}
  REASON_FAILURE_MESSAGE "${GMP_HINT}")

if(GMP_FOUND AND NOT TARGET veldra_gmp)
  if(VELDRA_MINI_GMP_DIR)
    # mini-mpq.c takes helpers from mini-gmp.c when included after it, as
    # mini-gmp's README describes; a gmp.h beside the unit stands for GMP's.
    # mini-gmp is C that compiles as C++ too (its headers are extern "C"),
    # which keeps this project C++ alone.
    set(gmp_unit_dir ${PROJECT_BINARY_DIR}/mini-gmp)
    file(CONFIGURE OUTPUT ${gmp_unit_dir}/gmp.h CONTENT
         "#include \"mini-gmp.h\"\n#include \"mini-mpq.h\"\n")
    file(CONFIGURE OUTPUT ${gmp_unit_dir}/mini-gmp-unit.cpp CONTENT
         "#include \"mini-gmp.c\"\n#include \"mini-mpq.c\"\n")
    add_library(veldra_gmp STATIC ${gmp_unit_dir}/mini-gmp-unit.cpp)
    target_include_directories(veldra_gmp SYSTEM PUBLIC
      ${gmp_unit_dir} ${GMP_INCLUDE_DIR})
    set_target_properties(veldra_gmp PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
  else()
    add_library(veldra_gmp UNKNOWN IMPORTED)
    set_target_properties(veldra_gmp PROPERTIES
      IMPORTED_LOCATION ${GMP_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${GMP_INCLUDE_DIR})
  endif()
endif()
