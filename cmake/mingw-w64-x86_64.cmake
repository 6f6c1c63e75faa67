# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix).
#
# Where Wine is installed, the programs built here run under it: tests, the
# example and GoogleTest's test discovery, in a Wine prefix of the build's own
# that the first program creates.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RKXML_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RKXML_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RKXML_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RKXML_MINGW_TRIPLET}-windres)

# Libraries and headers come from the target's tree only; programs from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${RKXML_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(RKXML_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(RKXML_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    # WINEDEBUG=-all keeps Wine's own diagnostics out of the programs' output.
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${CMAKE_COMMAND} -E env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wine ${RKXML_WINE})
endif()
