# aarch64 Linux with Debian's cross compiler (g++-12-aarch64-linux-gnu).  The
# programs run under qemu-user; GMP comes from the multiarch package
# libgmp-dev:arm64, and GoogleTest is built from source for the target.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(veldra_triple aarch64-linux-gnu)
set(veldra_multiarch aarch64-linux-gnu)
set(veldra_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
