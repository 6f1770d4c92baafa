#!/usr/bin/env bash
# CI step for the Windows builds:
#   windows/ci.sh [LINUX_BIN_DIR]      (default build/debug/bin)
# Cross-builds the 32-bit modules (the product) into build-win and the 64-bit
# ones into build-win64, and checks both export tables. Then runs
# windows/compare.sh under Wine against the Linux programs in LINUX_BIN_DIR:
# on the 32-bit build where this machine can execute 32-bit programs,
# otherwise on the 64-bit build under wine64. VESK_WIN_BITS=32 or 64 asks for one of them; that one must then run.
# Installs what a fresh machine lacks; fails, saying why, when no build can
# run; never passes without a comparison.
set -euo pipefail
cd "$(dirname "$0")/.."
linux_bin=${1:-build/debug/bin}

apt_updated=0
install_packages() {
  export DEBIAN_FRONTEND=noninteractive
  if [ $apt_updated -eq 0 ]; then
    apt-get update -qq
    apt_updated=1
  fi
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# Packages not yet installed, of those named.
missing() {
  local pkg
  for pkg in "$@"; do dpkg -s "$pkg" >/dev/null 2>&1 || echo "$pkg"; done
}

# Installs the packages named that are missing; reports how long it took.
ensure() {
  local need
  need=$(missing "$@")
  [ -z "$need" ] && return 0
  local start=$SECONDS
  # shellcheck disable=SC2086
  install_packages $need || return 1
  echo "Installed $(echo $need) in $((SECONDS - start)) s"
}

# Whether the kernel executes 32-bit x86 programs: a 93-byte static ELF that
# only calls exit(0), so that no 32-bit library needs to be installed first.
can_execute_32bit() {
  local probe
  probe=$(mktemp /tmp/vesk-elf32.XXXXXX)
  python3 - "$probe" <<'PY'
import struct, sys
code = bytes.fromhex("b801000000" "31db" "cd80")  # mov eax,1; xor ebx,ebx; int 0x80
base, size = 0x08048000, 52 + 32 + 9
header = struct.pack("<16sHHIIIIIHHHHHH", b"\x7fELF\x01\x01\x01" + bytes(9), 2, 3, 1,
                     base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
segment = struct.pack("<8I", 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(header + segment + code)
PY
  chmod +x "$probe"
  local ok=1
  "$probe" 2>/dev/null || ok=0
  rm -f "$probe"
  [ $ok -eq 1 ]
}

cross_build() {  # BUILD_DIR TOOLCHAIN
  local start=$SECONDS
  { cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="cmake/$2" -DCMAKE_BUILD_TYPE=Release &&
    cmake --build "$1" -j"$(nproc)"; } >"$1.log" 2>&1 || { tail -30 "$1.log"; return 1; }
  echo "Cross-built $1 ($2) in $((SECONDS - start)) s"
}

ensure g++-mingw-w64-i686 g++-mingw-w64-x86-64 python3
cross_build build-win mingw-i686.cmake
bash windows/check_exports.sh i686-w64-mingw32 build-win/bin/veskdll.dll
cross_build build-win64 mingw-x86_64.cmake
bash windows/check_exports.sh x86_64-w64-mingw32 build-win64/bin/veskdll.dll

# Which build runs, and why.
bits=${VESK_WIN_BITS:-}
case "$bits" in
  "" | 32 | 64) ;;
  *) echo "VESK_WIN_BITS must be 32 or 64, not '$bits'"; exit 2 ;;
esac
reason="asked for with VESK_WIN_BITS=$bits"
if [ -z "$bits" ]; then
  if can_execute_32bit; then
    bits=32 reason="this machine executes 32-bit programs"
  else
    bits=64 reason="this machine cannot execute 32-bit programs"
  fi
fi

if [ "$bits" = 32 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt_updated=0
  fi
  if ! ensure wine wine32:i386 || ! [ -x /usr/lib/wine/wine ]; then
    if [ -n "${VESK_WIN_BITS:-}" ]; then
      echo "Windows runs: none (the 32-bit build was asked for, but wine32 cannot be installed)"
      exit 1
    fi
    bits=64 reason="wine32 cannot be installed on this machine"
  fi
fi
if [ "$bits" = 64 ]; then
  ensure wine64 || {
    echo "Windows runs: none (wine64 cannot be installed, and $reason)"
    exit 1
  }
  echo "Windows runs: 64-bit build under wine64 ($reason)"
  VESK_WIN_BITS=64 bash windows/compare.sh "$linux_bin" build-win64/bin
else
  echo "Windows runs: 32-bit build under Wine ($reason)"
  VESK_WIN_BITS=32 bash windows/compare.sh "$linux_bin" build-win/bin
fi
