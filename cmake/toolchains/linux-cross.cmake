# Shared by the Linux cross toolchains, which set CMAKE_SYSTEM_PROCESSOR,
# veldra_triple (Debian's GNU triplet), veldra_multiarch (its multiarch
# directory) and veldra_qemu (the qemu-user program), then include this.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${veldra_triple}-gcc-12)
set(CMAKE_CXX_COMPILER ${veldra_triple}-g++-12)
set(CMAKE_LIBRARY_ARCHITECTURE ${veldra_multiarch})
# Linked statically: under qemu-user (Debian's 7.2) a dynamically linked
# program hangs in fork, which the crash report tests need.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(GMP_LIBRARY /usr/lib/${veldra_multiarch}/libgmp.a CACHE FILEPATH
    "GMP, static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${veldra_qemu} -L /usr/${veldra_triple})
