// Shared pieces of the TOAST tests: a scratch database directory, chunk rows
// of a TOAST relation written with the heap page builder, and the diagnostic
// log captured into a file so that tests can look for its lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/log_capture.h"
#include "heapbuilder/heap_builder.h"

namespace vesk::toasttest {

namespace hb = heapbuilder;

// A fresh directory under the temp folder, made the run's database
// directory; removed (and the TOAST cache reset) on destruction.
class ScratchDatabase {
 public:
  ScratchDatabase();
  ~ScratchDatabase();
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;
  const std::string& directory() const { return directory_; }

 private:
  std::string directory_;  // with a trailing separator
  std::string previous_;
};

struct Chunk {
  uint32_t valueId;
  int32_t seq;
  std::vector<uint8_t> data;
  hb::VarlenaForm form = hb::VarlenaForm::kLong;
};

// `data` cut into chunks of `chunkSize` bytes, numbered from 0.
std::vector<Chunk> SplitIntoChunks(uint32_t valueId, const std::vector<uint8_t>& data, size_t chunkSize);

// Writes the chunk rows, in the order given, as relation file `fileName` of
// the scratch database.
void WriteToastFile(hb::Layout layout, const ScratchDatabase& db, const std::string& fileName,
                    const std::vector<Chunk>& chunks);

// Indexes file `fileName` as TOAST relation `relid` and puts it in the cache.
void IndexToastFile(uint8_t version, uint32_t relid, const std::string& fileName);

// Bytes with structure and repetition, so that pglz finds matches in them.
std::vector<uint8_t> SampleBytes(size_t size, uint32_t seed);

using testing::LogCapture;

}  // namespace vesk::toasttest
