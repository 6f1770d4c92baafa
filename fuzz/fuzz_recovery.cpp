// Whole recoveries of a small database directory made from the fuzz input:
// the bundled sample database of the layout that byte 0 picks, changed by
// the edits that follow. Each edit is a file byte (which file; bit 7 cuts
// the file at the offset instead), a 3-byte offset, a length byte and that
// many bytes written over the file. The run must end, without a stop.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "sampledb/sample_database.h"
#include "vesk/veskdll.h"

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::vector<uint8_t>>;

std::string& WorkDir() {
  static std::string dir;
  if (dir.empty()) {
    char pattern[] = "/tmp/vesk-fuzz-recovery-XXXXXX";
    dir = mkdtemp(pattern);
    // Every run keeps a temporary log there too; each is removed below.
    setenv("TMPDIR", dir.c_str(), 1);
  }
  return dir;
}

const Files& Sample(int version) {
  static std::map<int, Files> samples;
  Files& files = samples[version];
  if (files.empty()) {
    std::string dir = WorkDir() + "/sample" + std::to_string(version);
    fs::create_directories(dir);
    vesk::sampledb::WriteSampleDatabase(version, dir);
    for (const auto& entry : fs::directory_iterator(dir)) {
      std::ifstream in(entry.path(), std::ios::binary);
      files[entry.path().filename()] =
          std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  return files;
}

void Apply(vesk::fuzz::FuzzInput& in, Files& files) {
  for (int edits = 0; edits < 64 && !in.Empty(); ++edits) {
    const uint8_t which = in.Byte();
    uint32_t offset = in.Byte() | (in.Byte() << 8) | (static_cast<uint32_t>(in.Byte()) << 16);
    const std::vector<uint8_t> bytes = in.Bytes(in.Byte());
    auto it = files.begin();
    std::advance(it, (which & 0x7F) % files.size());
    std::vector<uint8_t>& file = it->second;
    if (file.empty()) continue;
    offset %= static_cast<uint32_t>(file.size());
    if (which & 0x80) {
      file.resize(offset);
      continue;
    }
    for (size_t i = 0; i < bytes.size() && offset + i < file.size(); ++i) file[offset + i] = bytes[i];
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vesk::fuzz::FuzzInput in(data, size);
  const int version = (in.Byte() & 1) ? 83 : 82;
  Files files = Sample(version);
  Apply(in, files);

  const std::string run = WorkDir() + "/run";
  const std::string database = run + "/base/16384";
  fs::remove_all(run);
  fs::create_directories(database);
  fs::create_directories(run + "/out");
  for (const auto& [name, bytes] : files) {
    std::ofstream out(database + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  const fs::path cwd = fs::current_path();
  static volatile unsigned char breakByte = 0;
  SetBreakFlag(&breakByte);
  int32_t status = FileRecover((database + "/1259").c_str(), (run + "/out/").c_str(), 0, nullptr, nullptr, 0,
                               (run + "/log.txt").c_str());
  fs::current_path(cwd);
  for (const auto& entry : fs::directory_iterator(WorkDir())) {
    if (entry.path().filename().string().rfind("tarn-", 0) == 0) fs::remove(entry.path());
  }
  if (status == VESK_STOPPED || status == VESK_INTERNAL_ERROR || status == VESK_NO_SIBLING_LIBRARY) abort();
  return 0;
}
