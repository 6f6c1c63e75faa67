# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix),
# its programs run by wine64 (Debian: wine64).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RKXML_MINGW_TRIPLET x86_64-w64-mingw32)
set(RKXML_WINE_NAMES wine64 wine)
set(RKXML_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
