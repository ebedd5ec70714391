# Cross-compiling the 64-bit (x86-64) Windows build; tests run under Wine's
# 64-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUORBIN_MINGW_TARGET x86_64-w64-mingw32)
set(QUORBIN_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
