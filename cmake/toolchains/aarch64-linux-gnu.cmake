# aarch64 Linux with Debian's cross compiler (g++-12-aarch64-linux-gnu).  The
# programs run under qemu-user; GMP comes from the multiarch package
# libgmp-dev:arm64, and GoogleTest is built from source for the target.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc-12)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++-12)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# Linked statically: under qemu-user (Debian's 7.2) a dynamically linked
# program hangs in fork, which the crash report tests need.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(GMP_LIBRARY /usr/lib/aarch64-linux-gnu/libgmp.a CACHE FILEPATH "GMP, static")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
