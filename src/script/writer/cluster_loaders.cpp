#include "script/writer/cluster_loaders.h"

#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "script/writer/loader_scripts.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"

namespace vesk {
namespace {

struct ClusterLoader {
  FILE* file = nullptr;
  bool shell = false;
};

struct ClusterLoaders {
  std::vector<ClusterLoader> files;
  std::string directory;  // the run's directory, where the loaders are
};

ClusterLoaders& Loaders() {
  static ClusterLoaders loaders;
  return loaders;
}

// Each database is loaded by the loader of its own directory. Every
// database is checked before any is written: the function `databases`
// runs once to check and once to load.
constexpr char kShellHead[] = R"SH(#!/bin/sh
# Creates each recovered database and loads it with the loader of its
# directory (commit_trust.sh, which logs to load.log there).
#
#   load_all.sh [--replace] serv_name [user_name] [port]
#
# An argument left out or given as "" comes from PGHOST, PGUSER or PGPORT;
# PGPASSWORD and the other PG* variables apply as usual. A .psqlrc is not
# read. Every database is checked before anything is written: when one the
# recovery creates exists already, or one it loads into (postgres,
# template1) holds a table of its recovery, nothing is loaded. --replace
# loads into the existing databases instead, dropping the recovered tables
# (with whatever depends on them) first.
#
# Exit status: 0 every statement loaded; 1 wrong arguments; 2 psql could not
# run, connect or finish; 3 nothing loaded: databases or tables of this
# recovery exist already (or could not be dropped); 4 some statements failed
# (the load.log of each database names them).
usage() {
  echo "Usage: load_all.sh [--replace] serv_name [user_name] [port]"
  exit 1
}
replace=
for arg do
  shift
  if [ "$arg" = --replace ]; then replace=--replace; else set -- "$@" "$arg"; fi
done
[ $# -le 3 ] || usage
[ -n "$1" ] && PGHOST=$1
[ -n "$2" ] && PGUSER=$2
[ -n "$3" ] && PGPORT=$3
[ -n "$PGHOST" ] || usage
export PGHOST
[ -n "$PGUSER" ] && export PGUSER
[ -n "$PGPORT" ] && export PGPORT
unset PGDATABASE
cd "$(dirname "$0")" || exit 2
if ! command -v psql >/dev/null 2>&1; then
  echo "psql is not on the PATH" >&2
  exit 2
fi
if ! existing=$(psql -X -q -A -t -d postgres -c 'SELECT datname FROM pg_catalog.pg_database'); then
  echo "Cannot list the databases of the server"
  exit 2
fi
refused=0
broken=0
failed=0
failed_lines() {
  grep -E '^psql:[^ ]*:[0-9]+: ' "$1" |
    grep -v -E '^psql:[^ ]*:[0-9]+: [^ ]+:  0[0-2][0-9A-Z]{3}: '
}
# database NAME DIRECTORY [CREATE-STATEMENT]; without the statement it is
# a database every server has.
database() {
  present=
  if [ -z "$3" ] || printf '%s\n' "$existing" | grep -Fqx -e "$1"; then present=1; fi
  if [ "$phase" = check ]; then
    [ -n "$replace" ] && return 0
    if [ -n "$3" ]; then
      if [ -n "$present" ]; then
        echo "Database $1 exists already"
        refused=1
      fi
      return 0
    fi
    psql -X -q -v ON_ERROR_STOP=1 -d "$1" -f "$2/load_check.sql" >"$2/load.log" 2>&1
    case $? in
      0) ;;
      3) grep '^psql:' "$2/load.log"; refused=1 ;;
      *) echo "Cannot check database $1 (see $2/load.log)"; broken=1 ;;
    esac
    return 0
  fi
  if [ -z "$present" ] && ! psql -X -q -v ON_ERROR_STOP=1 -d postgres -c "$3"; then
    echo "Database $1 could not be created"
    broken=1
    return 0
  fi
  echo "Database $1:"
  sh "$2/commit_trust.sh" $replace "" "$1"
  case $? in
    0) ;;
    3) refused=1 ;;
    4) failed=$((failed + $(failed_lines "$2/load.log" | wc -l))) ;;
    *) broken=1 ;;
  esac
}
databases() {
  :
)SH";

constexpr char kShellTail[] = R"SH(}
phase=check
databases
if [ "$broken" != 0 ]; then
  echo "Nothing was loaded: a database could not be checked"
  exit 2
fi
if [ "$refused" != 0 ]; then
  echo "Nothing was loaded: databases or tables of this recovery exist already;"
  echo "--replace loads into them, dropping the recovered tables first"
  exit 3
fi
phase=load
databases
if [ "$broken" != 0 ]; then
  echo "The load is incomplete: psql stopped; see the load.log of each database"
  exit 2
fi
if [ "$refused" != 0 ]; then
  echo "Some databases were not loaded: tables of this recovery could not be dropped"
  exit 3
fi
if [ "$failed" != 0 ]; then
  echo "Load finished: $failed statements failed; the load.log of each database names them"
  exit 4
fi
echo "Load finished: 0 statements failed"
)SH";

// cmd cannot quote a statement on psql's command line: each database's
// CREATE DATABASE goes into a file of its directory, and its name into
// PGDATABASE.
constexpr char kBatchHead[] = R"BAT(@echo off
rem Creates each recovered database and loads it with the loader of its
rem directory (commit_trust.bat, which logs to load.log there).
rem
rem   load_all.bat [--replace] serv_name [user_name] [port]
rem
rem An argument left out or given as "" comes from PGHOST, PGUSER or PGPORT;
rem PGPASSWORD and the other PG* variables apply as usual. A psqlrc.conf is
rem not read. Every database is checked before anything is written: when one
rem the recovery creates exists already, or one it loads into (postgres,
rem template1) holds a table of its recovery, nothing is loaded. --replace
rem loads into the existing databases instead, dropping the recovered tables
rem (with whatever depends on them) first.
rem
rem Exit status (errorlevel): 0 every statement loaded; 1 wrong arguments;
rem 2 psql could not run, connect or finish; 3 nothing loaded: databases or
rem tables of this recovery exist already (or could not be dropped); 4 some
rem statements failed (the load.log of each database names them).
setlocal
cd /d "%~dp0"
set "VESK_HOME=%~dp0"
set VESK_REPLACE=
if /i "%~1"=="--replace" set VESK_REPLACE=--replace
if /i "%~1"=="--replace" shift
if not "%~1"=="" set "PGHOST=%~1"
if not "%~2"=="" set "PGUSER=%~2"
if not "%~3"=="" set "PGPORT=%~3"
if "%PGHOST%"=="" goto Usage
where psql >nul 2>nul
if errorlevel 1 goto NoPsql
psql -X -q -A -t -d postgres -c "SELECT datname FROM pg_catalog.pg_database" >databases.txt
if errorlevel 1 goto NoList
set VESK_REFUSED=0
set VESK_BROKEN=0
set VESK_FAILED=0
set VESK_PHASE=check
call :Databases
if not "%VESK_BROKEN%"=="0" goto NotChecked
if not "%VESK_REFUSED%"=="0" goto Refused
set VESK_PHASE=load
call :Databases
if not "%VESK_BROKEN%"=="0" goto Incomplete
if not "%VESK_REFUSED%"=="0" goto NotDropped
if not "%VESK_FAILED%"=="0" goto SomeFailed
echo Load finished: 0 statements failed
exit /b 0
:SomeFailed
echo Load finished: statements failed in %VESK_FAILED% databases; the load.log of each names them
exit /b 4
:Refused
echo Nothing was loaded: databases or tables of this recovery exist already;
echo --replace loads into them, dropping the recovered tables first
exit /b 3
:NotDropped
echo Some databases were not loaded: tables of this recovery could not be dropped
exit /b 3
:NotChecked
echo Nothing was loaded: a database could not be checked
exit /b 2
:Incomplete
echo The load is incomplete: psql stopped; see the load.log of each database
exit /b 2
:NoList
echo Cannot list the databases of the server
exit /b 2
:NoPsql
echo psql is not on the PATH
exit /b 2
:Usage
echo Usage: load_all.bat [--replace] serv_name [user_name] [port]
exit /b 1

rem One database: VESK_NAME, VESK_DIR, and VESK_CREATE 1 when the recovery
rem creates it (0: every server has it).
:Database
set VESK_PRESENT=
if "%VESK_CREATE%"=="0" set VESK_PRESENT=1
findstr /x /l /c:"%VESK_NAME%" databases.txt >nul 2>nul
if not errorlevel 1 set VESK_PRESENT=1
set "PGDATABASE=%VESK_NAME%"
if "%VESK_PHASE%"=="load" goto LoadDatabase
if not "%VESK_REPLACE%"=="" exit /b 0
if "%VESK_CREATE%"=="0" goto CheckTables
if "%VESK_PRESENT%"=="1" echo The database of "%VESK_DIR%" exists already
if "%VESK_PRESENT%"=="1" set VESK_REFUSED=1
exit /b 0
:CheckTables
psql -X -q -v ON_ERROR_STOP=1 -f "%VESK_DIR%\load_check.sql" >"%VESK_DIR%\load.log" 2>&1
set VESK_STATUS=%errorlevel%
if "%VESK_STATUS%"=="3" findstr /r /c:"^psql:" "%VESK_DIR%\load.log"
if "%VESK_STATUS%"=="3" set VESK_REFUSED=1
if not "%VESK_STATUS%"=="0" if not "%VESK_STATUS%"=="3" set VESK_BROKEN=1
exit /b 0
:LoadDatabase
if "%VESK_PRESENT%"=="1" goto LoadInto
psql -X -q -v ON_ERROR_STOP=1 -d postgres -f "%VESK_DIR%\create_database.sql"
if errorlevel 1 goto NotCreated
:LoadInto
echo The database of "%VESK_DIR%":
call "%VESK_DIR%\commit_trust.bat" %VESK_REPLACE% "" ""
set VESK_STATUS=%errorlevel%
cd /d "%VESK_HOME%"
if "%VESK_STATUS%"=="4" set /a VESK_FAILED+=1
if "%VESK_STATUS%"=="3" set VESK_REFUSED=1
if not "%VESK_STATUS%"=="0" if not "%VESK_STATUS%"=="3" if not "%VESK_STATUS%"=="4" set VESK_BROKEN=1
exit /b 0
:NotCreated
echo The database of "%VESK_DIR%" could not be created
set VESK_BROKEN=1
exit /b 0

:Databases
)BAT";

constexpr char kBatchTail[] = "exit /b 0\n";

// A value for `set "NAME=value"` in a batch file: percent signs doubled
// (batch variables); the quotes around the assignment keep the rest.
std::string BatchValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

void AppendShell(FILE* f, const LoadedDatabase& database, const std::string& create) {
  std::fprintf(f, "  database %s %s", ShellQuoted(database.name).c_str(), ShellQuoted(database.directory).c_str());
  if (!database.exists) std::fprintf(f, " %s", ShellQuoted(create).c_str());
  std::fputc('\n', f);
}

void AppendBatch(FILE* f, const LoadedDatabase& database) {
  std::string lines = "set \"VESK_NAME=" + BatchValue(database.name) + "\"\n";
  lines += "set \"VESK_DIR=" + BatchValue(database.directory) + "\"\n";
  lines += database.exists ? "set VESK_CREATE=0\n" : "set VESK_CREATE=1\n";
  lines += "call :Database\n";
  const std::string text = WithCrLf(lines);
  std::fwrite(text.data(), 1, text.size(), f);
}

void WriteCreateFile(const LoadedDatabase& database, const std::string& create) {
  const std::string path = Loaders().directory + platform::kPathSeparator + database.directory +
                           platform::kPathSeparator + "create_database.sql";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fprintf(f, "%s\n", create.c_str()) < 0) {
    LogFormat("Cannot write to result file %s", path.c_str());
  }
  if (f != nullptr) std::fclose(f);
}

}  // namespace

std::string ShellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string CreateDatabaseStatement(const LoadedDatabase& database) {
  std::string statement = "CREATE DATABASE " + QuoteName(database.name.c_str());
  if (database.encoding != nullptr) {
    // The C locale goes with every encoding; a server's own locale may not.
    statement += " ENCODING '";
    statement += database.encoding;
    statement += "' LC_COLLATE 'C' LC_CTYPE 'C'";
  }
  return statement + " TEMPLATE template0;";
}

bool OpenClusterLoaders(const std::string& directory) {
  CloseClusterLoaders();
  Loaders().directory = directory;
  struct Kind {
    const char* name;
    const char* head;
    bool shell;
  };
  const Kind kinds[] = {{"load_all.bat", kBatchHead, false}, {"load_all.sh", kShellHead, true}};
  for (const Kind& kind : kinds) {
    if (kind.shell && !platform::kWritesShellLoaders) continue;
    std::string path = directory + platform::kPathSeparator + kind.name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
      LogFormat("Cannot write to result file %s", path.c_str());
      return false;
    }
    if (kind.shell) platform::MakeExecutable(path);
    const std::string head = kind.shell ? std::string(kind.head) : WithCrLf(kind.head);
    std::fwrite(head.data(), 1, head.size(), f);
    Loaders().files.push_back({f, kind.shell});
  }
  return true;
}

void AppendClusterDatabase(const LoadedDatabase& database) {
  const std::string create = CreateDatabaseStatement(database);
  if (!database.exists) WriteCreateFile(database, create);
  for (ClusterLoader& loader : Loaders().files) {
    if (loader.shell) {
      AppendShell(loader.file, database, create);
    } else {
      AppendBatch(loader.file, database);
    }
    std::fflush(loader.file);
  }
}

void CloseClusterLoaders() {
  for (ClusterLoader& loader : Loaders().files) {
    const std::string tail = loader.shell ? std::string(kShellTail) : WithCrLf(kBatchTail);
    std::fwrite(tail.data(), 1, tail.size(), loader.file);
    std::fclose(loader.file);
  }
  Loaders().files.clear();
}

}  // namespace vesk
