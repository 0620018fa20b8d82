# Cross build for Windows with MinGW-w64; the including toolchain file names
# the processor (Debian: g++-mingw-w64-i686, g++-mingw-w64-x86-64).
set(CMAKE_SYSTEM_NAME Windows)

set(mingwPrefix ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${mingwPrefix}-gcc)
set(CMAKE_CXX_COMPILER ${mingwPrefix}-g++)
set(CMAKE_RC_COMPILER ${mingwPrefix}-windres)

# Headers and libraries come from the MinGW sysroot, programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${mingwPrefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
