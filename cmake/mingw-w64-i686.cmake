# Cross-compiling the 32-bit (i686) Windows build, for terminals whose database
# client is 32-bit and for 32-bit Windows; tests run under Wine's 32-bit loader.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUORBIN_MINGW_TARGET i686-w64-mingw32)
set(QUORBIN_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
