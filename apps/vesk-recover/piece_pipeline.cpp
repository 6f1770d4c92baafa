#include "piece_pipeline.h"

#include <utility>

namespace vesk::frontend {

PiecePipeline::PiecePipeline(Consumer consume, size_t limit)
    : consume_(std::move(consume)), limit_(limit), worker_([this] { Run(); }) {}

PiecePipeline::~PiecePipeline() { Finish(); }

bool PiecePipeline::Take(const VeskScriptPiece& piece) {
  Piece copy;
  copy.kind = piece.kind;
  copy.hasSchema = piece.schema != nullptr;
  copy.hasTable = piece.table != nullptr;
  if (copy.hasSchema) copy.schema = piece.schema;
  if (copy.hasTable) copy.table = piece.table;
  if (piece.text != nullptr && piece.length > 0) copy.text.assign(piece.text, static_cast<size_t>(piece.length));
  const size_t size = copy.text.size();
  std::unique_lock<std::mutex> guard(lock_);
  // A piece larger than the limit still goes, alone in the queue.
  changed_.wait(guard, [&] { return refused_ || queue_.empty() || bytes_ + size <= limit_; });
  if (refused_) return false;
  bytes_ += size;
  queue_.push_back(std::move(copy));
  changed_.notify_all();
  return true;
}

void PiecePipeline::Finish() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closing_ = true;
    changed_.notify_all();
  }
  if (worker_.joinable()) worker_.join();
}

void PiecePipeline::Run() {
  for (;;) {
    Piece piece;
    {
      std::unique_lock<std::mutex> guard(lock_);
      changed_.wait(guard, [&] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      piece = std::move(queue_.front());
      queue_.pop_front();
    }
    VeskScriptPiece view{};
    view.size = sizeof view;
    view.kind = piece.kind;
    view.schema = piece.hasSchema ? piece.schema.c_str() : nullptr;
    view.table = piece.hasTable ? piece.table.c_str() : nullptr;
    view.text = piece.text.empty() ? nullptr : piece.text.data();
    view.length = static_cast<int64_t>(piece.text.size());
    const bool taken = consume_(view);
    std::lock_guard<std::mutex> guard(lock_);
    bytes_ -= piece.text.size();
    if (!taken) {
      refused_ = true;
      bytes_ = 0;
      queue_.clear();
    }
    changed_.notify_all();
  }
}

}  // namespace vesk::frontend
