# Cross-build for 32-bit Windows with MinGW-w64; tests run under Wine.
# VX_THREAD_MODEL picks the compilers' thread model. The shipped binaries are built with the
# win32 one: the posix one links winpthreads, which imports functions that Windows 95 to 2003
# lack. GoogleTest needs std::mutex, which only the posix one offers, so a tree that builds the
# tests is configured with -DVX_THREAD_MODEL=posix and builds the shipped binaries in a product
# tree of its own.
if(NOT VX_THREAD_MODEL)
  set(VX_THREAD_MODEL win32)
endif()
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VX_THREAD_MODEL)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${VX_THREAD_MODEL})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${VX_THREAD_MODEL})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
set(VX_WINE_LOADER wine)
