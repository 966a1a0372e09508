# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model,
# so std::thread and friends work). Every executable is linked statically:
# vostal-swap.exe must run from a bare directory on any Windows machine, so it
# may import nothing but system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_AR ${_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_triple}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static pulls in libwinpthread as well as libstdc++ and libgcc.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and test helpers are Windows programs: CTest runs them under Wine.
# scripts/lib/wine.sh sets up the prefix and the wineserver around the run.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(VOSTAL_WINE NAMES wine)
  if(VOSTAL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VOSTAL_WINE})
  endif()
endif()
