#include "script/writer/loader_scripts.h"

#include <cctype>
#include <cstring>

namespace vesk {

const char kLoadListHead[] =
    "-- Loads this recovery in one psql session; the loaders run it as\n"
    "--   psql -X -q -v guard=load_check.sql -f load.sql\n"
    "-- (guard=load_replace.sql drops the recovery's tables first). Messages\n"
    "-- carry their SQLSTATE, so that the loaders tell errors from notices\n"
    "-- whatever language the server speaks.\n"
    "\\set AUTOCOMMIT on\n"
    "\\set VERBOSITY verbose\n"
    "\\set ON_ERROR_STOP on\n"
    "\\i :guard\n"
    "\\unset ON_ERROR_STOP\n";
const char kLoadListLine[] = "\\i recovered_%d.sql\n";

namespace {

constexpr char kShellIntro[] =
    "#!/bin/sh\n"
    "# Loads this recovery into a database: every recovered_N.sql, in order, in\n"
    "# one psql session (one password prompt), logged to load.log beside them.\n"
    "#\n";

constexpr char kShellExplanation[] =
    "#\n"
    "# An argument left out or given as \"\" comes from PGHOST, PGDATABASE,\n"
    "# PGUSER or PGPORT; PGPASSWORD and the other PG* variables apply as usual.\n"
    "# A .psqlrc is not read. When the database holds a table of this recovery\n"
    "# already nothing is loaded, as a second load would double its rows;\n"
    "# --replace drops this recovery's tables (with whatever depends on them),\n"
    "# its other objects and its schemas first, then loads.\n"
    "#\n"
    "# Exit status: 0 every statement loaded; 1 wrong arguments; 2 psql could\n"
    "# not run, connect or finish (see load.log); 3 nothing loaded: tables of\n"
    "# this recovery exist already, or --replace could not drop them; 4 some\n"
    "# statements failed (load.log names them).\n";

// After the arguments are settled: the session, and its account.
constexpr char kShellBody[] =
    "cd \"$(dirname \"$0\")\" || exit 2\n"
    "if ! command -v psql >/dev/null 2>&1; then\n"
    "  echo \"psql is not on the PATH\" >&2\n"
    "  exit 2\n"
    "fi\n"
    "for file in load.sql \"$guard\"; do\n"
    "  if [ ! -f \"$file\" ]; then\n"
    "    echo \"$file is missing: the recovery did not finish\" >&2\n"
    "    exit 2\n"
    "  fi\n"
    "done\n"
    "# The log of the run before, kept: a refused second run must not take\n"
    "# away what the first one said.\n"
    "[ -f load.log ] && mv -f load.log load.previous.log\n"
    "if ! : >load.log; then\n"
    "  echo \"Cannot write load.log in $(pwd)\" >&2\n"
    "  exit 2\n"
    "fi\n"
    "echo \"Loading into database $PGDATABASE on $PGHOST; log: $(pwd)/load.log\"\n"
    "psql -X -q -v guard=\"$guard\" -f load.sql >load.log 2>&1\n"
    "status=$?\n"
    "# psql names the file and line of every message; notices and warnings\n"
    "# carry SQLSTATE classes 00 to 02, whatever the server's language.\n"
    "failed_lines() {\n"
    "  grep -E '^psql:[^ ]*:[0-9]+: ' load.log |\n"
    "    grep -v -E '^psql:[^ ]*:[0-9]+: [^ ]+:  0[0-2][0-9A-Z]{3}: '\n"
    "}\n"
    "if [ \"$status\" -eq 3 ]; then\n"
    "  failed_lines\n"
    "  if [ \"$guard\" = load_replace.sql ]; then\n"
    "    echo \"Nothing was loaded: the tables of this recovery could not be dropped\"\n"
    "  else\n"
    "    echo \"Nothing was loaded: the database holds tables of this recovery already;\"\n"
    "    echo \"--replace drops them and loads again\"\n"
    "  fi\n"
    "  exit 3\n"
    "fi\n"
    "if [ \"$status\" -ne 0 ]; then\n"
    "  tail -n 5 load.log\n"
    "  echo \"psql stopped (exit status $status): the load is incomplete; see load.log\"\n"
    "  exit 2\n"
    "fi\n"
    "failed=$(failed_lines | wc -l | tr -d ' ')\n"
    "if [ \"$failed\" -ne 0 ]; then\n"
    "  failed_lines | head -n 20\n"
    "  echo \"Load finished: $failed statements failed; load.log names them\"\n"
    "  exit 4\n"
    "fi\n"
    "echo \"Load finished: 0 statements failed\"\n";

constexpr char kBatchExplanation[] =
    "rem\n"
    "rem An argument left out or given as \"\" comes from PGHOST, PGDATABASE,\n"
    "rem PGUSER or PGPORT; PGPASSWORD and the other PG* variables apply as usual.\n"
    "rem A psqlrc.conf is not read. When the database holds a table of this\n"
    "rem recovery already nothing is loaded, as a second load would double its\n"
    "rem rows; --replace drops this recovery's tables (with whatever depends on\n"
    "rem them), its other objects and its schemas first, then loads.\n"
    "rem\n"
    "rem Exit status (errorlevel): 0 every statement loaded; 1 wrong arguments;\n"
    "rem 2 psql could not run, connect or finish (see load.log); 3 nothing\n"
    "rem loaded: tables of this recovery exist already, or --replace could not\n"
    "rem drop them; 4 some statements failed (load.log names them).\n";

constexpr char kBatchBody[] =
    "where psql >nul 2>nul\n"
    "if errorlevel 1 goto NoPsql\n"
    "if not exist load.sql goto Unfinished\n"
    "if not exist %VESK_GUARD% goto Unfinished\n"
    "if exist load.log move /y load.log load.previous.log >nul\n"
    "echo Loading this recovery; the log goes to load.log\n"
    "psql -X -q -v guard=%VESK_GUARD% -f load.sql >load.log 2>&1\n"
    "set VESK_STATUS=%errorlevel%\n"
    "if \"%VESK_STATUS%\"==\"3\" goto Refused\n"
    "if not \"%VESK_STATUS%\"==\"0\" goto Broken\n"
    "rem psql names the file and line of every message; notices and warnings\n"
    "rem carry SQLSTATE classes 00 to 02, whatever the server's language.\n"
    "findstr /r /c:\"^psql:[^ ]*:[0-9][0-9]*: \" load.log"
    " | findstr /v /r /c:\"^psql:[^ ]*:[0-9][0-9]*: [^ ]*:  0[0-2][0-9A-Z][0-9A-Z][0-9A-Z]: \" >load_failed.txt\n"
    "set VESK_FAILED=0\n"
    "for /f %%n in ('find /c /v \"\" ^<load_failed.txt') do set VESK_FAILED=%%n\n"
    "if \"%VESK_FAILED%\"==\"0\" goto Loaded\n"
    "type load_failed.txt\n"
    "echo Load finished: %VESK_FAILED% statements failed; load.log names them\n"
    "exit /b 4\n"
    ":Loaded\n"
    "del load_failed.txt\n"
    "echo Load finished: 0 statements failed\n"
    "exit /b 0\n"
    ":Refused\n"
    "findstr /r /c:\"^psql:\" load.log\n"
    "if \"%VESK_GUARD%\"==\"load_replace.sql\" goto NotDropped\n"
    "echo Nothing was loaded: the database holds tables of this recovery already;\n"
    "echo --replace drops them and loads again\n"
    "exit /b 3\n"
    ":NotDropped\n"
    "echo Nothing was loaded: the tables of this recovery could not be dropped\n"
    "exit /b 3\n"
    ":Broken\n"
    "echo psql stopped with exit status %VESK_STATUS%: the load is incomplete; see load.log\n"
    "exit /b 2\n"
    ":NoPsql\n"
    "echo psql is not on the PATH\n"
    "exit /b 2\n"
    ":Unfinished\n"
    "echo load.sql or %VESK_GUARD% is missing: the recovery did not finish\n"
    "exit /b 2\n";

}  // namespace

std::string ForLoadSet(const std::string& text, LoadSet set) {
  if (set == LoadSet::kRecovered) return text;
  static const char* const kNames[] = {"load.sql",        "load.log",         "load.previous.log",
                                       "load_check.sql",  "load_replace.sql", "load_failed.txt",
                                       "commit.sh",       "commit_trust.sh",  "commit.bat",
                                       "commit_trust.bat"};
  std::string out;
  out.reserve(text.size() + 256);
  for (size_t i = 0; i < text.size();) {
    const bool boundary = i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '_');
    const char* found = nullptr;
    for (const char* name : kNames) {
      if (boundary && text.compare(i, std::strlen(name), name) == 0) found = name;
    }
    if (found != nullptr) {
      out += "deleted_";
      out += found;
      i += std::strlen(found);
    } else if (boundary && text.compare(i, 15, "recovered_N.sql") == 0) {
      out += "deleted_N.sql";
      i += 15;
    } else {
      out += text[i++];
    }
  }
  return out;
}

namespace {

std::string ShellText(bool withUser) {
  const std::string name = withUser ? "commit.sh" : "commit_trust.sh";
  const std::string arguments = withUser ? "serv_name db_name user_name [port]" : "serv_name db_name [port]";
  std::string out = kShellIntro;
  out += "#   " + name + " [--replace] " + arguments + "\n";
  out += kShellExplanation;
  out += "usage() {\n  echo \"Usage: " + name + " [--replace] " + arguments + "\"\n  exit 1\n}\n";
  // --replace may stand anywhere; the others keep their places.
  out +=
      "guard=load_check.sql\n"
      "for arg do\n"
      "  shift\n"
      "  if [ \"$arg\" = --replace ]; then guard=load_replace.sql; else set -- \"$@\" \"$arg\"; fi\n"
      "done\n";
  out += withUser ? "[ $# -le 4 ] || usage\n" : "[ $# -le 3 ] || usage\n";
  out += "[ -n \"$1\" ] && PGHOST=$1\n[ -n \"$2\" ] && PGDATABASE=$2\n";
  out += withUser ? "[ -n \"$3\" ] && PGUSER=$3\n[ -n \"$4\" ] && PGPORT=$4\n"
                  : "[ -n \"$3\" ] && PGPORT=$3\n";
  out += withUser ? "[ -n \"$PGHOST\" ] && [ -n \"$PGDATABASE\" ] && [ -n \"$PGUSER\" ] || usage\n"
                    "export PGHOST PGDATABASE PGUSER\n"
                  : "[ -n \"$PGHOST\" ] && [ -n \"$PGDATABASE\" ] || usage\n"
                    "export PGHOST PGDATABASE\n";
  out += "[ -n \"$PGPORT\" ] && export PGPORT\n";
  return out + kShellBody;
}

std::string BatchText(bool withUser) {
  const std::string name = withUser ? "commit.bat" : "commit_trust.bat";
  const std::string arguments = withUser ? "serv_name db_name user_name [port]" : "serv_name db_name [port]";
  std::string out =
      "@echo off\n"
      "rem Loads this recovery into a database: every recovered_N.sql, in order, in\n"
      "rem one psql session (one password prompt), logged to load.log beside them.\n"
      "rem\n";
  out += "rem   " + name + " [--replace] " + arguments + "\n";
  out += kBatchExplanation;
  // The directory first: shift moves %0 as well.
  out +=
      "setlocal\n"
      "cd /d \"%~dp0\"\n"
      "set VESK_GUARD=load_check.sql\n"
      "if /i \"%~1\"==\"--replace\" set VESK_GUARD=load_replace.sql\n"
      "if /i \"%~1\"==\"--replace\" shift\n"
      "if not \"%~1\"==\"\" set \"PGHOST=%~1\"\n"
      "if not \"%~2\"==\"\" set \"PGDATABASE=%~2\"\n";
  out += withUser ? "if not \"%~3\"==\"\" set \"PGUSER=%~3\"\nif not \"%~4\"==\"\" set \"PGPORT=%~4\"\n"
                  : "if not \"%~3\"==\"\" set \"PGPORT=%~3\"\n";
  out += "if \"%PGHOST%\"==\"\" goto Usage\nif \"%PGDATABASE%\"==\"\" goto Usage\n";
  if (withUser) out += "if \"%PGUSER%\"==\"\" goto Usage\n";
  out += kBatchBody;
  out += ":Usage\necho Usage: " + name + " [--replace] " + arguments + "\nexit /b 1\n";
  return WithCrLf(out);
}

}  // namespace

std::string LoadListHead(LoadSet set) { return ForLoadSet(kLoadListHead, set); }

std::string ShellLoaderText(bool withUser, LoadSet set) {
  return ForLoadSet(ShellText(withUser), set);
}

std::string BatchLoaderText(bool withUser, LoadSet set) {
  return ForLoadSet(BatchText(withUser), set);
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace vesk
