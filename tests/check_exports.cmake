# cmake -DNM=<nm> -DLIBRARY=<libveldra.so> -P check_exports.cmake
#
# Fails unless every symbol the shared library exports belongs to the
# public API of veldra.hpp: in the namespace VELDRA and not in
# VELDRA::detail, or a member of a std::hash specialization for its
# classes.  Prints the count of exports it checked.
execute_process(
  COMMAND ${NM} -D --defined-only --demangle ${LIBRARY}
  OUTPUT_VARIABLE listing
  COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" ";" lines "${listing}")
set(count 0)
set(outside "")
foreach(line IN LISTS lines)
  # "<address> <type> <name>"
  if(NOT line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.*)$")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  math(EXPR count "${count} + 1")
  if(NOT name MATCHES "^(VELDRA::|std::hash<VELDRA::)"
     OR name MATCHES "^VELDRA::detail::")
    string(APPEND outside "\n  ${name}")
  endif()
endforeach()
if(outside)
  message(FATAL_ERROR "${LIBRARY} exports symbols outside the API:${outside}")
endif()
if(count EQUAL 0)
  message(FATAL_ERROR "${LIBRARY} exports nothing")
endif()
message(STATUS "${count} exports, all of the public API")
