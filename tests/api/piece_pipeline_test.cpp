// The pipeline between the engine and a load into a server: every piece
// arrives whole and in order however small the queue, and a refusal stops
// the engine at its next piece.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "piece_pipeline.h"

namespace vesk::frontend {
namespace {

VeskScriptPiece Piece(int32_t kind, const std::string& text, const char* table = nullptr) {
  VeskScriptPiece piece{};
  piece.size = sizeof piece;
  piece.kind = kind;
  piece.schema = table != nullptr ? "s" : nullptr;
  piece.table = table;
  piece.text = text.empty() ? nullptr : text.data();
  piece.length = static_cast<int64_t>(text.size());
  return piece;
}

TEST(PiecePipelineTest, PiecesArriveWholeAndInOrderThroughASmallQueue) {
  std::vector<std::string> seen;
  {
    // A limit below one piece: each waits for the one before it.
    PiecePipeline pipeline(
        [&seen](const VeskScriptPiece& p) {
          std::this_thread::sleep_for(std::chrono::microseconds(200));
          seen.push_back(std::to_string(p.kind) + ":" + (p.table ? std::string(p.schema) + "." + p.table : "-") +
                         ":" + (p.text ? std::string(p.text, static_cast<size_t>(p.length)) : "(null)"));
          return true;
        },
        4);
    std::string text;  // changed after each Take: the pipeline must have copied it
    for (int i = 0; i < 50; ++i) {
      text = "row " + std::to_string(i) + "\n";
      ASSERT_TRUE(pipeline.Take(Piece(VESK_PIECE_COPY_DATA, text, "t")));
      text.assign(text.size(), 'x');
    }
    ASSERT_TRUE(pipeline.Take(Piece(VESK_PIECE_TABLE_END, "")));
    pipeline.Finish();
  }
  ASSERT_EQ(seen.size(), 51u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(seen[i], "4:s.t:row " + std::to_string(i) + "\n");
  EXPECT_EQ(seen[50], "6:-:(null)");
}

TEST(PiecePipelineTest, ARefusedPieceStopsTheEngineAndDropsWhatWaits) {
  std::atomic<int> consumed{0};
  PiecePipeline pipeline([&consumed](const VeskScriptPiece&) { return ++consumed < 3; }, 1 << 20);
  bool refused = false;
  for (int i = 0; i < 10000 && !refused; ++i) {
    refused = !pipeline.Take(Piece(VESK_PIECE_SQL, "SELECT 1;\n"));
    if (i > 5 && !refused) std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  pipeline.Finish();
  EXPECT_TRUE(refused);
  EXPECT_EQ(consumed.load(), 3);  // nothing after the refusal reached the server
}

}  // namespace
}  // namespace vesk::frontend
