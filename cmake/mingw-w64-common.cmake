# What both Windows builds share: MinGW-w64 (Debian's posix-threads variant) for
# the target QUORBIN_MINGW_TARGET, statically linked, its programs run by the Wine
# loader of their own bitness, QUORBIN_WINE_LOADER. The loaders are called
# directly: once the 32-bit Wine is installed, the `wine` launcher starts 64-bit
# programs through the 32-bit loader too, which is many times slower here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QUORBIN_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORBIN_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORBIN_MINGW_TARGET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUORBIN_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORBIN_WINE_LOADER})
