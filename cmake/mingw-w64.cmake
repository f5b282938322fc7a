# Cross build of the Windows executables with mingw-w64 (posix threads), run under Wine.
#   cmake -S . -B build-win -G Ninja --toolchain cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAMBLOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAMBLOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMBLOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMBLOR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAMBLOR_MINGW_TRIPLE} ${TAMBLOR_WIN_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Operators copy one file: no DLLs of the compiler's runtime beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs, and gtest's discovery of their cases, run under Wine with a private prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../tests/win/wine-run --prefix ${CMAKE_BINARY_DIR}/wineprefix
    CACHE STRING "Runs a Windows program on this machine")

# GCC 12 warns about std::string concatenations that cannot overlap (a known false positive of
# -Wrestrict that the optimiser's inlining exposes); nothing else is silenced.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
