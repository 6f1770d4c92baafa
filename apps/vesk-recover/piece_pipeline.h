// Hands the engine's script pieces to a consumer on a thread of its own, so
// that the server's work on one piece overlaps the engine's decoding of the
// next: without it a load straight into a server costs the sum of the two.
// At most `limit` bytes wait between them, so that memory stays bounded
// whatever the size of a table.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "vesk/veskdll.h"

namespace vesk::frontend {

class PiecePipeline {
 public:
  // `consume` runs on the pipeline's thread, piece by piece in order; false
  // from it (a lost connection) makes every later Take false, so that the
  // engine stops, and the pieces still waiting are dropped.
  using Consumer = std::function<bool(const VeskScriptPiece&)>;
  explicit PiecePipeline(Consumer consume, size_t limit = size_t{4} << 20);
  ~PiecePipeline();
  PiecePipeline(const PiecePipeline&) = delete;
  PiecePipeline& operator=(const PiecePipeline&) = delete;

  // Copies the piece into the queue, waiting while it is full; false once
  // the consumer has refused a piece.
  bool Take(const VeskScriptPiece& piece);
  // Waits until every piece taken is consumed, then ends the thread.
  void Finish();

 private:
  struct Piece {
    int32_t kind = 0;
    bool hasSchema = false, hasTable = false;
    std::string schema, table, text;
  };
  void Run();

  Consumer consume_;
  size_t limit_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Piece> queue_;
  size_t bytes_ = 0;
  bool closing_ = false;
  bool refused_ = false;
  std::thread worker_;
};

}  // namespace vesk::frontend
