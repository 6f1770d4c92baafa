// Build step: writes the bundled sample database directories.
//   vesk_sampledb <output directory>   ->  <output>/pg83/, <output>/pg82/
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "sampledb/sample_database.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vesk_sampledb <output directory>\n");
    return 2;
  }
  try {
    for (int version : {83, 82}) {
      std::filesystem::path dir = std::filesystem::path(argv[1]) / ("pg" + std::to_string(version));
      std::filesystem::create_directories(dir);
      if (!vesk::sampledb::WriteSampleDatabase(version, dir.string())) {
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
