# Windows x86-64 with Debian's mingw-w64 cross compiler (posix threads),
# linked statically so that the programs need no DLLs; they run under wine.
# GoogleTest is built from source for the target, and so is GMP's subset
# mini-gmp (VELDRA_MINI_GMP_DIR), Debian having no GMP for it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
