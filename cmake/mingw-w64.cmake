# Shared part of the MinGW-w64 cross toolchains; the per-target files set
# TARVOLT_MINGW_TRIPLET and the processor first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: GoogleTest needs std::mutex, which GCC 12's win32
# model lacks. Its winpthread is linked in statically like the rest.
find_program(TARVOLT_MINGW_CXX NAMES ${TARVOLT_MINGW_TRIPLET}-g++-posix ${TARVOLT_MINGW_TRIPLET}-g++)
find_program(TARVOLT_MINGW_CC NAMES ${TARVOLT_MINGW_TRIPLET}-gcc-posix ${TARVOLT_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TARVOLT_MINGW_CXX})
set(CMAKE_C_COMPILER ${TARVOLT_MINGW_CC})
set(CMAKE_RC_COMPILER ${TARVOLT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVOLT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the Windows test program through Wine where it is installed.
find_program(TARVOLT_WINE NAMES wine)
if(TARVOLT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVOLT_WINE})
endif()
