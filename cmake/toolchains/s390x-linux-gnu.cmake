# s390x Linux with Debian's cross compiler (g++-12-s390x-linux-gnu).  The
# programs run under qemu-user; GMP comes from the multiarch package
# libgmp-dev:s390x, and GoogleTest is built from source for the target.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_C_COMPILER s390x-linux-gnu-gcc-12)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++-12)
set(CMAKE_LIBRARY_ARCHITECTURE s390x-linux-gnu)
# Linked statically: under qemu-user (Debian's 7.2) a dynamically linked
# program hangs in fork, which the crash report tests need.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(GMP_LIBRARY /usr/lib/s390x-linux-gnu/libgmp.a CACHE FILEPATH "GMP, static")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x -L /usr/s390x-linux-gnu)
