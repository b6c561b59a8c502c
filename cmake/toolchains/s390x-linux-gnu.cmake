# s390x Linux with Debian's cross compiler (g++-12-s390x-linux-gnu).  The
# programs run under qemu-user; GMP comes from the multiarch package
# libgmp-dev:s390x, and GoogleTest is built from source for the target.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(veldra_triple s390x-linux-gnu)
set(veldra_multiarch s390x-linux-gnu)
set(veldra_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
