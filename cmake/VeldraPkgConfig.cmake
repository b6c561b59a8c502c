# Installs veldra.pc for builds that CMake does not drive:
#   g++ app.cpp $(pkg-config --cflags --libs veldra)
# Relative install directories are written relative to the file's own
# directory (${pcfiledir}): the prefix known at configure time is not the
# one that an install with --prefix ends up in.
include_guard(GLOBAL)

set(veldra_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The pkg-config form of an install directory: absolute as given, or below
# ${prefix}.
function(veldra_pc_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

if(IS_ABSOLUTE "${veldra_pc_dir}")
  set(veldra_pc_prefix "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH veldra_pc_up /${veldra_pc_dir} /)
  string(REGEX REPLACE "/$" "" veldra_pc_up "${veldra_pc_up}")
  set(veldra_pc_prefix "\${pcfiledir}/${veldra_pc_up}")
endif()
veldra_pc_path(veldra_pc_libdir "${CMAKE_INSTALL_LIBDIR}")
veldra_pc_path(veldra_pc_includedir "${CMAKE_INSTALL_INCLUDEDIR}")

# A program that links veldra also needs what the CMake package hands on
# (the sanitizer runtimes of a sanitized build); read when the build files
# are written, so that options added later in the configure count too.
set(veldra_pc_link_options
    "$<TARGET_PROPERTY:veldra,INTERFACE_LINK_OPTIONS>")
set(veldra_pc_link_flags
    "$<$<BOOL:${veldra_pc_link_options}>: $<JOIN:${veldra_pc_link_options}, >>")

# Likewise the definitions its header needs (VELDRA_STATIC_DEFINE for a
# static library).
set(veldra_pc_definitions
    "$<TARGET_PROPERTY:veldra,INTERFACE_COMPILE_DEFINITIONS>")
set(veldra_pc_cflags
    "$<$<BOOL:${veldra_pc_definitions}>: -D$<JOIN:${veldra_pc_definitions}, -D>>")

configure_file(${CMAKE_CURRENT_LIST_DIR}/veldra.pc.in
  ${PROJECT_BINARY_DIR}/veldra.pc.gen @ONLY)
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/veldra.pc
  INPUT ${PROJECT_BINARY_DIR}/veldra.pc.gen)
install(FILES ${PROJECT_BINARY_DIR}/veldra.pc DESTINATION ${veldra_pc_dir})
