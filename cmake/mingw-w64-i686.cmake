# Cross build for 32-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-i686-posix),
# its programs run by 32-bit Wine (Debian: wine32:i386, after dpkg --add-architecture i386).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(RKXML_MINGW_TRIPLET i686-w64-mingw32)
set(RKXML_WINE_NAMES wine)
set(RKXML_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
