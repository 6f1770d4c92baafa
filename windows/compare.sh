#!/usr/bin/env bash
# Runs a Windows build under Wine on the real fixture databases (and the
# benchmark database when it is there) and checks it against the Linux build:
#   windows/compare.sh LINUX_BIN_DIR WIN_BIN_DIR [SHARED_DIR]
# VESK_WIN_BITS=32 (default) runs the 32-bit build with Wine's 32-bit loader
# in a win32 prefix; VESK_WIN_BITS=64 the 64-bit build under wine64.
# LINUX_BIN_DIR holds vesk-recover (and its engine), WIN_BIN_DIR the files
# vesk-wintest.exe, veskdll.dll, tarncmn.dll and quorndll.dll.
# For each fixture: recovered_*.sql byte for byte as on Linux, the batch files
# identical and free of carriage returns, the log in Wine's temporary
# directory, the type image extracted from quorndll.dll beside it. Also: the
# exports' plain names, a run without quorndll.dll, and a run stopped by the
# break byte. Ends with the line "wine: N passed, N failed"; exit 1 on a failure.
set -uo pipefail

linux_bin=$(cd "$1" && pwd)
win_bin=$(cd "$2" && pwd)
shared=$(cd "${3:-$(dirname "$0")/../../shared}" && pwd)

passed=0
failed=0
pass() { echo "PASS: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

work=$(mktemp -d /tmp/vesk-wine.XXXXXX)
bits=${VESK_WIN_BITS:-32}
if [ "$bits" = 64 ]; then
  wine_loader=/usr/lib/wine/wine64 triplet=x86_64-w64-mingw32
  export WINEARCH=win64
else
  wine_loader=/usr/lib/wine/wine triplet=i686-w64-mingw32
  export WINEARCH=win32
fi
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINELOADER=$wine_loader
# Wine's own loader, not Debian's wrapper, which picks the 32-bit one
# whenever it is installed.
wine() { "$wine_loader" "$@"; }
# No Mono or Gecko installers: nothing here needs them, and there is no display.
export WINEDLLOVERRIDES="mscoree=;mshtml="

# The program's console output ends its lines in CR LF; its files do not.
# Z: is Wine's view of the whole Unix tree.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

only_result_dir() {
  local dirs=("$1"/Recovered*)
  [ ${#dirs[@]} -eq 1 ] && [ -d "${dirs[0]}" ] && printf '%s' "${dirs[0]}"
}

check_exports() {
  local result
  if result=$(bash "$(dirname "$0")/check_exports.sh" "$triplet" "$win_bin/veskdll.dll"); then
    pass "$result"
  else
    fail "$result"
  fi
}

check_fixture() {
  local name=$1 db_path=$2
  if [ ! -d "$db_path" ]; then
    fail "$name: fixture $db_path missing"
    return
  fi
  local lin_out="$work/linux-$name" win_out="$work/wine-$name"
  mkdir -p "$lin_out" "$win_out"
  "$linux_bin/vesk-recover" -q -o "$lin_out" "$db_path" > "$work/linux-$name.txt" 2>&1
  local logs_before
  logs_before=$(find "$WINEPREFIX/drive_c" -name 'tarn-*.tmp' 2>/dev/null | wc -l)
  (cd "$win_out" && wine "$win_bin/vesk-wintest.exe" --current "$(winpath "$db_path/1259")" "$(winpath "$win_out")") \
    2>&1 | tr -d '\r' > "$work/wine-$name.txt"
  local rc=${PIPESTATUS[0]}
  sed -n '/^Status:/p' "$work/wine-$name.txt"
  local lin_dir win_dir
  lin_dir=$(only_result_dir "$lin_out") || true
  win_dir=$(only_result_dir "$win_out") || true
  if [ $rc -ne 0 ] || [ -z "$win_dir" ] || [ -z "$lin_dir" ]; then
    fail "$name: run under Wine (exit $rc) or on Linux gave no result directory"
    tail -5 "$work/wine-$name.txt"
    return
  fi
  pass "$name: recovered under Wine"

  local scripts=0 same=1
  for f in "$lin_dir"/recovered_*.sql; do
    scripts=$((scripts + 1))
    if ! cmp -s "$f" "$win_dir/$(basename "$f")"; then
      same=0
      echo "  differs: $(basename "$f")"
      diff <(cat "$f") <(cat "$win_dir/$(basename "$f")" 2>/dev/null) | head -10
    fi
  done
  local win_scripts
  win_scripts=$(ls "$win_dir"/recovered_*.sql | wc -l)
  if [ $same -eq 1 ] && [ "$scripts" -eq "$win_scripts" ] && [ "$scripts" -gt 0 ]; then
    pass "$name: $scripts script file(s) byte for byte as on Linux ($(cat "$win_dir"/recovered_*.sql | wc -c) bytes)"
  else
    fail "$name: scripts differ from Linux ($scripts on Linux, $win_scripts under Wine)"
  fi

  # The batch loaders end their lines with CR LF on every platform (written
  # so, not translated: a translating writer would double the CR); the files
  # psql reads end them with LF alone.
  local batch_ok=1
  for f in commit.bat commit_trust.bat load.sql load_check.sql load_replace.sql; do
    if [ ! -f "$win_dir/$f" ] || ! cmp -s "$lin_dir/$f" "$win_dir/$f" ||
      { [ "${f%.sql}" != "$f" ] && grep -q $'\r' "$win_dir/$f"; }; then
      batch_ok=0
      echo "  $f: missing, differs from Linux, or has carriage returns"
    fi
  done
  [ $batch_ok -eq 1 ] && pass "$name: loaders and their lists as on Linux" ||
    fail "$name: loaders"

  local logs_after log
  logs_after=$(find "$WINEPREFIX/drive_c" -name 'tarn-*.tmp' | wc -l)
  log=$(find "$WINEPREFIX/drive_c" -name 'tarn-*.tmp' -newer "$work/linux-$name.txt" | head -1)
  if [ "$logs_after" -eq $((logs_before + 1)) ] && [ -n "$log" ] &&
    grep -q '^GetTempPath \[' "$log" && grep -q '^FileRecover() started$' "$log"; then
    pass "$name: log in the temporary directory (${log#"$WINEPREFIX/drive_c/"})"
  else
    fail "$name: no new log in Wine's temporary directory"
  fi
  # The built-in types come from quorndll.dll's resources, extracted beside it.
  if [ -n "$log" ] && [ "$(stat -c %s "$win_bin/pg_type" 2>/dev/null)" = 49152 ] &&
    grep -qF "Table stored in $(winpath "$win_bin/pg_type")" "$log"; then
    pass "$name: type image extracted from quorndll.dll to its directory and read"
  else
    fail "$name: type image not extracted to $win_bin/pg_type or not read from there"
  fi
}

# Folders with Latin-1 characters, given with backslashes and with forward
# slashes (both of which Windows takes), into a result folder with such
# characters too: the same script as on Linux, the result folder named after
# the database folder, and the path in the log in the program's code page
# (1252), not in UTF-8. Wine hands a UTF-8 argument to the program in that
# code page.
check_foreign_paths() {
  local lin_dir
  lin_dir=$(only_result_dir "$work/linux-pg83") || { fail "non-ASCII paths: no Linux result for pg83"; return; }
  local src="$shared/fixtures/pg83/base/16585" root="$work/Données"
  mkdir -p "$root" && cp -r "$src" "$root/16585" && cp -r "$src" "$root/Base_é"
  local name db out dir rc
  for name in backslashes slashes; do
    out="$work/Résultats $name"
    mkdir -p "$out"
    if [ $name = backslashes ]; then
      db=$(winpath "$root/16585/1259") dir=$(winpath "$out")
    else
      db="Z:$root/Base_é/1259" dir="Z:$out/"
    fi
    : >"$work/foreign-$name.stamp"
    (cd "$out" && LC_ALL=C.UTF-8 wine "$win_bin/vesk-wintest.exe" --current "$db" "$dir") 2>&1 | tr -d '\r' > "$work/foreign-$name.txt"
    rc=${PIPESTATUS[0]}
    local result log
    result=$(only_result_dir "$out") || true
    log=$(find "$WINEPREFIX/drive_c" -name 'tarn-*.tmp' -newer "$work/foreign-$name.stamp" | head -1)
    if [ $rc -eq 0 ] && [ -n "$result" ] && cmp -s "$lin_dir/recovered_1.sql" "$result/recovered_1.sql" &&
      [ -n "$log" ] && LC_ALL=C grep -aq $'Donn\xe9es' "$log" && ! LC_ALL=C grep -aq 'Données' "$log"; then
      pass "non-ASCII folders with $name: script as on Linux in \"${result#"$work/"}\", path logged in code page 1252"
    else
      fail "non-ASCII folders with $name (exit $rc, result '${result#"$work/"}')"
      tail -5 "$work/foreign-$name.txt"
    fi
  done
  # The folder named after the database folder, in the code page's é.
  if [ -d "$(only_result_dir "$work/Résultats slashes")" ] &&
    [[ "$(only_result_dir "$work/Résultats slashes")" == *"/Recovered Base_é "* ]]; then
    pass "result folder named after a database folder with a non-ASCII name"
  else
    fail "result folder name for Base_é"
  fi
  # A folder that does not exist leaves no result folder behind.
  out="$work/Résultats missing"
  mkdir -p "$out"
  (cd "$out" && LC_ALL=C.UTF-8 wine "$win_bin/vesk-wintest.exe" --current "Z:$root/Absent_é/1259" "Z:$out/") 2>&1 |
    tr -d '\r' > "$work/foreign-missing.txt"
  if grep -q '^Status: -4 ' "$work/foreign-missing.txt" && [ -z "$(ls -A "$out")" ]; then
    pass "missing database folder: status -4 and no result folder"
  else
    fail "missing database folder"
    tail -3 "$work/foreign-missing.txt"
  fi
}

check_stop() {
  local db_path="$shared/fixtures/pg83/base/16585" out="$work/wine-stop"
  [ -d "$db_path" ] || return
  mkdir -p "$out"
  (cd "$out" && wine "$win_bin/vesk-wintest.exe" --current "$(winpath "$db_path/1259")" "$(winpath "$out")" \
    --stop-after 8) 2>&1 | tr -d '\r' > "$work/wine-stop.txt"
  local dir
  dir=$(only_result_dir "$out") || true
  if grep -q '^Status: -1000 ' "$work/wine-stop.txt" && grep -q '^message: Terminate\.\.\.$' "$work/wine-stop.txt" &&
    [ -n "$dir" ] && [ -f "$dir/load_check.sql" ]; then
    pass "break byte set from the progress callback: status -1000, files closed"
  else
    fail "stop through the break byte"
    tail -5 "$work/wine-stop.txt"
  fi
}

# Without quorndll.dll the engine falls back on the image compiled into it:
# the same script, and nothing written beside the program.
check_without_resource_module() {
  local db_path="$shared/fixtures/pg83/base/16585" bin="$work/no-quorndll" out="$work/wine-no-quorndll"
  local lin_dir
  lin_dir=$(only_result_dir "$work/linux-pg83") || return
  mkdir -p "$bin" "$out"
  cp "$win_bin/vesk-wintest.exe" "$win_bin/veskdll.dll" "$win_bin/tarncmn.dll" "$bin/"
  (cd "$out" && wine "$bin/vesk-wintest.exe" --current "$(winpath "$db_path/1259")" "$(winpath "$out")") 2>&1 |
    tr -d '\r' > "$work/wine-no-quorndll.txt"
  local dir
  dir=$(only_result_dir "$out") || true
  if [ -n "$dir" ] && cmp -s "$lin_dir/recovered_1.sql" "$dir/recovered_1.sql" && [ ! -e "$bin/pg_type" ]; then
    pass "without quorndll.dll: built-in image used, script as on Linux"
  else
    fail "without quorndll.dll"
    tail -5 "$work/wine-no-quorndll.txt"
  fi
}

check_exports
check_fixture pg82 "$shared/fixtures/pg82/base/16388"
check_fixture pg83 "$shared/fixtures/pg83/base/16585"
# The benchmark database: a million rows, values out of line, and a script
# long enough to be split into two files.
# (VESK_WINE_SKIP_PERF=1 leaves it out, for a quicker run by hand.)
if [ -f "$shared/fixtures/perf83.tar.xz" ] && [ "${VESK_WINE_SKIP_PERF:-0}" != 1 ]; then
  mkdir -p "$work/perf83" && tar xJf "$shared/fixtures/perf83.tar.xz" -C "$work/perf83"
  check_fixture perf83 "$work/perf83/17137"
  rm -rf "$work/perf83"
fi
check_without_resource_module
check_foreign_paths
check_stop
# Wine's server outlives the programs; end it with the prefix.
/usr/lib/wine/wineserver -k 2>/dev/null || true
if [ $failed -eq 0 ]; then
  rm -rf "$work"
else
  echo "outputs kept in $work"
fi
echo "wine: $passed passed, $failed failed"
[ $failed -eq 0 ]
