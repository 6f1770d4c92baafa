// The throw-away PostgreSQL server of the tests (tests/tools/pg_server.sh),
// for tests that load a recovery's output into a real server.
#pragma once

#include <cstdio>
#include <string>

namespace vesk::testing {

// The server's libpq connection string ("host=/tmp port=N user=U
// dbname=postgres"), starting it when it does not answer; "" when this
// machine has no server binaries or it cannot be started (`why` says which).
inline std::string TestServerConnection(std::string* why = nullptr) {
  const std::string command = std::string("\"") + VESK_SOURCE_DIR + "/tests/tools/pg_server.sh\" ensure 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    const int status = pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    // The connection string is the last line; warnings may come before it.
    const size_t line = out.rfind('\n');
    const std::string last = line == std::string::npos ? out : out.substr(line + 1);
    if (status == 0 && last.rfind("host=", 0) == 0) return last;
  }
  if (why != nullptr) *why = "no PostgreSQL server for the load tests: " + (out.empty() ? command : out);
  return {};
}

}  // namespace vesk::testing
