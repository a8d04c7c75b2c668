# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 toolchain.
#
# The posix thread variant is the one whose libstdc++ has std::thread and std::mutex; the default
# win32 variant has neither. Everything links statically (the C++ runtime and winpthreads
# included), so glimmerix.exe and the test programs run with no DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GLIMMERIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GLIMMERIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GLIMMERIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${GLIMMERIX_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${GLIMMERIX_MINGW_TRIPLE}-ar CACHE FILEPATH "MinGW archiver")
set(CMAKE_RANLIB ${GLIMMERIX_MINGW_TRIPLE}-ranlib CACHE FILEPATH "MinGW ranlib")

# Headers and libraries come from the MinGW sysroot and from the prefixes that the project (or
# the command line) adds to CMAKE_FIND_ROOT_PATH, never from the host; programs to run during the
# build come from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${GLIMMERIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A dynamically linked program would need libwinpthread-1.dll and libstdc++-6.dll at run time;
# Wine then refuses to start it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
# Release programs ship without their symbol tables (2.5 MB instead of 1.6 MB for glimmerix.exe).
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT -s)
