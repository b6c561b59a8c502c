# find_package(GMP [REQUIRED]): GMP, the exact reference of the tests,
# benchmarks and fuzzers (never of the library).  Debian ships no CMake
# package for it, hence this module.  Sets GMP_FOUND and, when found,
# defines the imported target veldra_gmp.
find_path(GMP_INCLUDE_DIR gmp.h)
find_library(GMP_LIBRARY gmp)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(GMP
  REQUIRED_VARS GMP_LIBRARY GMP_INCLUDE_DIR
  REASON_FAILURE_MESSAGE "on Debian, install libgmp-dev")

if(GMP_FOUND AND NOT TARGET veldra_gmp)
  add_library(veldra_gmp UNKNOWN IMPORTED)
  set_target_properties(veldra_gmp PROPERTIES
    IMPORTED_LOCATION ${GMP_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${GMP_INCLUDE_DIR})
endif()
