# i686 Linux with Debian's cross compiler (g++-12-i686-linux-gnu).  The
# programs run under qemu-user; GMP comes from the multiarch package
# libgmp-dev:i386, and GoogleTest is built from source for the target.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(veldra_triple i686-linux-gnu)
set(veldra_multiarch i386-linux-gnu)
set(veldra_qemu qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
