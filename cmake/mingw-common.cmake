# Shared body of the MinGW-w64 cross toolchain files. The including file sets
# CMAKE_SYSTEM_PROCESSOR and _mingw (the target triplet) first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model's compilers are the ones libstdc++'s std::thread and
# std::mutex work with; fall back to the plain names where only those exist.
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-posix ${_mingw}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Relation segment files are read with fseeko: 64-bit offsets as on Linux.
# windows/compat stands in for headers MinGW lacks (the sanitizer interface).
set(CMAKE_CXX_FLAGS_INIT "-D_FILE_OFFSET_BITS=64 -isystem ${CMAKE_CURRENT_LIST_DIR}/../windows/compat")

# Programs run under Wine on a machine without MinGW's runtime DLLs: link the
# C and C++ runtimes (and winpthread) into every module.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
