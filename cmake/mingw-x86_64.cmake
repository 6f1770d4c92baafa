# Cross build of the same Windows modules for 64-bit Windows with Debian's
# MinGW-w64 x86_64 toolchain (package g++-mingw-w64-x86-64): the build that
# runs under wine64 where a machine cannot execute 32-bit programs.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
