// Build step: writes the bundled sample database directories.
//   vesk_sampledb <output directory> [--align=4] [--datetime=integer]
//     ->  <output>/pg83/, <output>/pg82/
// The options write them as a 32-bit server or one built with integer
// date/time storage would have.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "sampledb/sample_database.h"

int main(int argc, char** argv) {
  vesk::heapbuilder::ServerBuild build;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--align=4") {
      build.maxAlign = build.doubleAlign = 4;
    } else if (arg == "--datetime=integer") {
      build.integerDatetimes = true;
    } else if (output == nullptr && !arg.empty() && arg[0] != '-') {
      output = argv[i];
    } else {
      output = nullptr;
      break;
    }
  }
  if (output == nullptr) {
    std::fprintf(stderr, "usage: vesk_sampledb <output directory> [--align=4] [--datetime=integer]\n");
    return 2;
  }
  try {
    for (int version : {83, 82}) {
      std::filesystem::path dir = std::filesystem::path(output) / ("pg" + std::to_string(version));
      std::filesystem::create_directories(dir);
      if (!vesk::sampledb::WriteSampleDatabase(version, dir.string(), build)) {
        std::fprintf(stderr, "vesk_sampledb: cannot write %s\n", dir.string().c_str());
        return 1;
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vesk_sampledb: %s\n", e.what());
    return 1;
  }
  return 0;
}
