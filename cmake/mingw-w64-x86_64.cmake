# Cross build of the 64-bit Windows DLL with Debian's MinGW-w64 compilers (posix thread model,
# which std::thread and std::mutex need). The top-level CMakeLists runs test programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(NIVEXA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${NIVEXA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${NIVEXA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${NIVEXA_MINGW_PREFIX}-windres)
set(CMAKE_AR ${NIVEXA_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${NIVEXA_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${NIVEXA_MINGW_PREFIX}-objdump CACHE FILEPATH "")

# Libraries Debian has no MinGW builds of (the image libraries) are cross-built into a prefix
# of the build tree by scripts/build-mingw-deps.sh and found there first.
set(CMAKE_FIND_ROOT_PATH ${NIVEXA_MINGW_DEPS} /usr/${NIVEXA_MINGW_PREFIX})
# Debian's MinGW zlib also has an import library for a zlib1.dll nobody ships.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The GCC runtime goes inside every binary, so the DLL and the test programs need nothing but
# system DLLs: no libstdc++-6.dll, libgcc_s_seh-1.dll or libwinpthread-1.dll to ship or to find.
# Programs get the main-thread stack of Linux (8 MiB; Windows' default is 1-2 MiB), so that the
# suites behave alike. The DLL runs on its callers' stacks and is not affected.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--stack,8388608")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
