#include "types/toast/toast_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "storage/table_reader.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "types/toast/toast.h"
#include "types/toast/toast_cache.h"

namespace vesk::toasttest {

namespace {

std::string MakeTempDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vesk-toast-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (!made) throw std::runtime_error("cannot create a temp directory");
  return std::string(made) + "/";
}

}  // namespace

ScratchDatabase::ScratchDatabase() : directory_(MakeTempDirectory()), previous_(Run().databaseDirectory) {
  ResetToastCache();
  Run().databaseDirectory = directory_;
}

ScratchDatabase::~ScratchDatabase() {
  ResetToastCache();
  Run().databaseDirectory = previous_;
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

std::vector<Chunk> SplitIntoChunks(uint32_t valueId, const std::vector<uint8_t>& data, size_t chunkSize) {
  std::vector<Chunk> chunks;
  for (size_t at = 0, seq = 0; at < data.size(); at += chunkSize, ++seq) {
    size_t n = std::min(chunkSize, data.size() - at);
    chunks.push_back(Chunk{valueId, static_cast<int32_t>(seq),
                           std::vector<uint8_t>(data.begin() + static_cast<long>(at),
                                                data.begin() + static_cast<long>(at + n))});
  }
  return chunks;
}

void WriteToastFile(hb::Layout layout, const ScratchDatabase& db, const std::string& fileName,
                    const std::vector<Chunk>& chunks) {
  std::vector<hb::ColumnSpec> columns = {{4, true, 'i', 'p'}, {4, true, 'i', 'p'}, {-1, false, 'i', 'p'}};
  hb::RelationBuilder relation(layout, columns);
  for (const Chunk& c : chunks) {
    relation.AddRow({hb::Oid(c.valueId), hb::Int32(c.seq), hb::Varlena(c.data, c.form)});
  }
  ASSERT_TRUE(relation.WriteFile(db.directory() + fileName));
}

void IndexToastFile(uint8_t version, uint32_t relid, const std::string& fileName) {
  auto relation = std::make_unique<ToastRelation>(relid, version);
  std::unique_ptr<TableReader> reader;
  if (version == 83) {
    reader = std::make_unique<TableReader83>(fileName.c_str(), relation.get());
  } else {
    reader = std::make_unique<TableReader82>(fileName.c_str(), relation.get());
  }
  ASSERT_TRUE(relation->Index(std::move(reader)));
  AdoptToastRelation(std::move(relation));
}

std::vector<uint8_t> SampleBytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> out(size);
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    // Mostly a short repeating pattern, with noise sprinkled in.
    out[i] = (state >> 28) == 0 ? static_cast<uint8_t>(state >> 16) : static_cast<uint8_t>('a' + i % 23);
  }
  return out;
}

}  // namespace vesk::toasttest
