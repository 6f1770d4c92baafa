#!/usr/bin/env bash
# CI step for the 32-bit Windows build: installs the MinGW-w64 i686 toolchain
# and Wine when missing, cross-builds into build-win and runs windows/compare.sh
# against the Linux programs in LINUX_BIN_DIR (default build/debug/bin).
#   windows/ci.sh [LINUX_BIN_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
linux_bin=${1:-build/debug/bin}

missing=0
command -v i686-w64-mingw32-g++-posix >/dev/null || missing=1
command -v wine >/dev/null || missing=1
dpkg -s wine32:i386 >/dev/null 2>&1 || missing=1
if [ $missing -eq 1 ]; then
  start=$(date +%s)
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq g++-mingw-w64-i686 wine wine32 >/dev/null
  echo "Installed the MinGW-w64 toolchain and Wine in $(($(date +%s) - start)) s"
fi

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j"$(nproc)"
bash windows/compare.sh "$linux_bin" build-win/bin
