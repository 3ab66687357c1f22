# Cross-compiling for 32-bit Windows with Debian's MinGW-w64: only the Access
# reader is built so (scripts/windows/build-reader32.sh), since Windows' own
# Access ODBC driver exists in 32 bits only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ONDIVA_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${ONDIVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ONDIVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ONDIVA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ONDIVA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(PKG_CONFIG_EXECUTABLE "" CACHE FILEPATH "No pkg-config when cross-compiling for Windows" FORCE)
