# What the Windows cross builds with MinGW-w64 share; mingw-w64-x86_64.cmake and
# mingw-w64-i686.cmake set RKXML_MINGW_TRIPLET, the processor and the Wine loader
# first, then include this file.
#
# Where Wine is installed, the programs built here run under it: tests, the
# example and GoogleTest's test discovery, in a Wine prefix of the build's own
# that the first program creates.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${RKXML_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RKXML_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RKXML_MINGW_TRIPLET}-windres)

# Libraries and headers come from the target's tree only; programs from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${RKXML_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(RKXML_WINE NAMES ${RKXML_WINE_NAMES} HINTS /usr/lib/wine)
find_program(RKXML_WINESERVER NAMES wineserver HINTS /usr/lib/wine)
if(RKXML_WINE AND RKXML_WINESERVER AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    # WINEDEBUG=-all keeps Wine's own diagnostics out of the programs' output.
    set(CMAKE_CROSSCOMPILING_EMULATOR
        ${CMAKE_COMMAND} -E env WINEDEBUG=-all WINEARCH=${RKXML_WINE_ARCH} WINEPREFIX=${CMAKE_BINARY_DIR}/wine
        sh ${CMAKE_CURRENT_LIST_DIR}/RunUnderWine.sh ${RKXML_WINESERVER} ${RKXML_WINE})
endif()
