# The imported target veldra_gmp: GMP, the exact reference of the tests and
# fuzzers (never of the library), one for the whole build.  Debian ships no
# CMake package for it, hence the plain lookup.
include_guard(GLOBAL)

find_path(GMP_INCLUDE_DIR gmp.h)
find_library(GMP_LIBRARY gmp)
if(NOT GMP_INCLUDE_DIR OR NOT GMP_LIBRARY)
  message(FATAL_ERROR "GMP not found (Debian: libgmp-dev)")
endif()
add_library(veldra_gmp UNKNOWN IMPORTED GLOBAL)
set_target_properties(veldra_gmp PROPERTIES
  IMPORTED_LOCATION ${GMP_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${GMP_INCLUDE_DIR})
