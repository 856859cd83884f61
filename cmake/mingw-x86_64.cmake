# Cross-build for 64-bit Windows with MinGW-w64: the test build on machines whose kernel cannot
# run 32-bit programs (and so no 32-bit Wine); tests run under Wine. The thread model is chosen
# as for the 32-bit build (see mingw-i686.cmake).
if(NOT VX_THREAD_MODEL)
  set(VX_THREAD_MODEL win32)
endif()
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VX_THREAD_MODEL)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-${VX_THREAD_MODEL})
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-${VX_THREAD_MODEL})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The 64-bit loader directly: the wine script would start the 32-bit one first.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
set(VX_WINE_LOADER /usr/lib/wine/wine64)
