#include "script/writer/cluster_loaders.h"

#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"

namespace vesk {
namespace {

struct ClusterLoader {
  FILE* file = nullptr;
  bool shell = false;
};

std::vector<ClusterLoader>& Loaders() {
  static std::vector<ClusterLoader> loaders;
  return loaders;
}

constexpr char kShellHead[] =
    "#!/bin/sh\n"
    "# Creates each recovered database and loads its script files.\n"
    "if [ -z \"$1\" ]; then\n"
    "  echo Usage\n  echo load_all.sh serv_name [user_name]\n  exit 1\n"
    "fi\n"
    "cd \"$(dirname \"$0\")\" || exit 1\n"
    "SERVER=$1\nUSER_NAME=$2\n"
    "run_psql() {\n"
    "  if [ -n \"$USER_NAME\" ]; then psql -h \"$SERVER\" -U \"$USER_NAME\" \"$@\"; "
    "else psql -h \"$SERVER\" \"$@\"; fi\n"
    "}\n\n";

constexpr char kBatchHead[] =
    "@echo off\n"
    "rem Creates each recovered database and loads its script files.\n"
    "if x\"%1\" == x\"\" Goto Usage\n"
    "cd /d \"%~dp0\"\n"
    "set USER_ARG=\n"
    "if not x\"%2\" == x\"\" set USER_ARG=-U %2\n\n";

constexpr char kBatchTail[] =
    "\nGoto Exit\n:Usage\necho Usage\necho load_all.bat serv_name [user_name]\n:Exit\n";

// A word for the command interpreter: between double quotes, each double
// quote as \" (how the C runtime splits a command line) and each percent
// sign doubled (batch variables).
std::string BatchQuoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out + "\"";
}

std::string ScriptPath(const LoadedDatabase& database, int32_t number, char separator) {
  return database.directory + separator + "recovered_" + std::to_string(number) + ".sql";
}

void AppendShell(FILE* f, const LoadedDatabase& database, const std::string& create) {
  std::fprintf(f, "# %s\n", ShellQuoted(database.name).c_str());
  if (database.exists) {
    std::fputs("# made by every cluster: loaded into the existing database\n", f);
  } else {
    std::fprintf(f, "run_psql -d postgres -c %s\n", ShellQuoted(create).c_str());
  }
  for (int32_t n = 1; n <= database.scriptFiles; ++n) {
    std::fprintf(f, "run_psql -d %s -f %s\n", ShellQuoted(database.name).c_str(),
                 ShellQuoted(ScriptPath(database, n, '/')).c_str());
  }
  std::fputc('\n', f);
}

void AppendBatch(FILE* f, const LoadedDatabase& database, const std::string& create) {
  if (!database.exists) {
    std::fprintf(f, "psql -h %%1 %%USER_ARG%% -d postgres -c %s\n", BatchQuoted(create).c_str());
  }
  for (int32_t n = 1; n <= database.scriptFiles; ++n) {
    std::fprintf(f, "psql -h %%1 %%USER_ARG%% -d %s -f %s\n", BatchQuoted(database.name).c_str(),
                 BatchQuoted(ScriptPath(database, n, '\\')).c_str());
  }
  std::fputc('\n', f);
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
    std::fputs(kind.head, f);
    Loaders().push_back({f, kind.shell});
  }
  return true;
}

void AppendClusterDatabase(const LoadedDatabase& database) {
  const std::string create = CreateDatabaseStatement(database);
  for (ClusterLoader& loader : Loaders()) {
    if (loader.shell) {
      AppendShell(loader.file, database, create);
    } else {
      AppendBatch(loader.file, database, create);
    }
    std::fflush(loader.file);
  }
}

void CloseClusterLoaders() {
  for (ClusterLoader& loader : Loaders()) {
    if (!loader.shell) std::fputs(kBatchTail, loader.file);
    std::fclose(loader.file);
  }
  Loaders().clear();
}

}  // namespace vesk
