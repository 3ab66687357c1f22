# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (GCC 12, POSIX threads).
# Used both for Qt itself (scripts/windows/build-qt.sh) and for the program.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ONDIVA_MINGW_TRIPLE x86_64-w64-mingw32)
# The -posix compilers give std::thread, std::mutex and friends; the -win32 ones do not.
set(CMAKE_C_COMPILER   ${ONDIVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ONDIVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ONDIVA_MINGW_TRIPLE}-windres)

# Look for headers, libraries and CMake packages only in the MinGW root and in the
# prefixes the caller adds (the Windows Qt), never in the host's /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${ONDIVA_MINGW_TRIPLE})
if(DEFINED ONDIVA_QT_PREFIX)
    # The Windows Qt built by scripts/windows/build-qt.sh.
    list(APPEND CMAKE_FIND_ROOT_PATH ${ONDIVA_QT_PREFIX})
    list(APPEND CMAKE_PREFIX_PATH ${ONDIVA_QT_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host's pkg-config would report Linux libraries.
set(PKG_CONFIG_EXECUTABLE "" CACHE FILEPATH "No pkg-config when cross-compiling for Windows" FORCE)
