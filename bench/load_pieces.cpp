// vesk-load-pieces CONNINFO SCRIPT: feeds a plain SQL script with COPY
// blocks (a pg_dump, or a recovery's script) to the --into loader as the
// engine would send it, each COPY block as a table of its own, and prints
// the loader's summary and the seconds it took. bench/restore uses it to time
// the loading half of --into on its own.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "server_load.h"

namespace {

using vesk::frontend::ServerLoad;

bool Send(ServerLoad& load, int32_t kind, const std::string& text) {
  VeskScriptPiece piece{sizeof(VeskScriptPiece), kind, "bench", "copy", text.empty() ? nullptr : text.data(),
                        static_cast<int64_t>(text.size())};
  return load.Take(piece);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: vesk-load-pieces CONNINFO SCRIPT\n");
    return 2;
  }
  std::ifstream script(argv[2], std::ios::binary);
  if (!script) {
    std::fprintf(stderr, "vesk-load-pieces: cannot read %s\n", argv[2]);
    return 2;
  }
  std::string error;
  auto load = ServerLoad::Connect(argv[1], [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); },
                                  error);
  if (!load) {
    std::fprintf(stderr, "vesk-load-pieces: %s\n", error.c_str());
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  // The engine sends a COPY block's rows a batch at a time.
  constexpr size_t kPiece = 64 * 1024;
  std::string line, sql, rows;
  bool copying = false, running = true;
  while (running && std::getline(script, line)) {
    line += '\n';
    if (copying) {
      if (line == "\\.\n") {
        running = Send(*load, VESK_PIECE_COPY_DATA, rows) && Send(*load, VESK_PIECE_COPY_END, line) &&
                  Send(*load, VESK_PIECE_TABLE_END, "");
        rows.clear();
        copying = false;
      } else if ((rows += line).size() >= kPiece) {
        running = Send(*load, VESK_PIECE_COPY_DATA, rows);
        rows.clear();
      }
    } else if (line[0] == '\\') {
      // A psql command (pg_dump's \restrict): not for the server.
    } else if (line.rfind("COPY ", 0) == 0 && line.find(" FROM stdin;") != std::string::npos) {
      running = Send(*load, VESK_PIECE_SQL, sql) && Send(*load, VESK_PIECE_TABLE_BEGIN, "") &&
                Send(*load, VESK_PIECE_COPY_BEGIN, line);
      sql.clear();
      copying = true;
    } else if ((sql += line).size() >= kPiece) {
      running = Send(*load, VESK_PIECE_SQL, sql);
      sql.clear();
    }
  }
  if (running) Send(*load, VESK_PIECE_SQL, sql);
  load->Finish();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  load->Summary().Print(stdout);
  std::printf("Seconds: %.2f\n", seconds);
  return load->Summary().HasLosses() || load->Summary().IsConnectionLost() ? 1 : 0;
}
