// The script sink: the pieces a caller receives, put together, are the
// script the same run writes to files, in an order a loader can act on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vesk/veskdll.h"

namespace vesk {
namespace {

namespace fs = std::filesystem;

struct Piece {
  int32_t kind = 0;
  bool named = false;  // schema and table given
  std::string table;
  std::string text;
};

struct Received {
  std::vector<Piece> pieces;
  int32_t refuseKind = 0;  // nonzero: the first piece of this kind is refused
};

int32_t VESK_CALL Collect(const VeskScriptPiece* piece, intptr_t user) {
  auto* received = reinterpret_cast<Received*>(user);
  Piece p;
  p.kind = piece->kind;
  p.named = piece->schema != nullptr && piece->table != nullptr;
  if (p.named) p.table = std::string(piece->schema) + "." + piece->table;
  if (piece->length > 0) p.text.assign(piece->text, static_cast<size_t>(piece->length));
  received->pieces.push_back(p);
  return received->refuseKind == piece->kind ? 1 : 0;
}

class ScriptSinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = std::string(VESK_SHARED_DIR) + "/fixtures/pg83/base/16585";
    if (!fs::exists(database_)) GTEST_SKIP() << "shared fixtures not found at " << VESK_SHARED_DIR;
    char dir[] = "/tmp/vesk-sink-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    work_ = dir;
  }
  void TearDown() override {
    std::error_code ec;
    if (!work_.empty() && !HasFailure()) fs::remove_all(work_, ec);
  }

  // One run into a result directory of its own; returns its status.
  int32_t Recover(const std::string& name, Received* sink) {
    const std::string out = work_ + "/" + name;
    fs::create_directory(out);
    VeskOptions options{};
    options.size = sizeof options;
    options.version = VESK_OPTIONS_VERSION;
    options.rowFormat = VESK_ROWS_COPY;
    options.targetServer = VESK_TARGET_CURRENT;
    if (sink != nullptr) options.scriptSink = Collect;
    return FileRecoverEx((database_ + "/1259").c_str(), (out + "/").c_str(), nullptr, nullptr,
                         reinterpret_cast<intptr_t>(sink), (out + ".log").c_str(), &options);
  }

  // The result directory of run `name`.
  fs::path Result(const std::string& name) const {
    for (const auto& entry : fs::directory_iterator(work_ + "/" + name)) return entry.path();
    return {};
  }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string database_;
  std::string work_;
};

TEST_F(ScriptSinkTest, PiecesRebuildTheScriptInLoadableOrder) {
  const int32_t status = Recover("files", nullptr);
  ASSERT_GE(status, 0);
  std::string script;
  for (int n = 1; fs::exists(Result("files") / ("recovered_" + std::to_string(n) + ".sql")); ++n) {
    script += Read(Result("files") / ("recovered_" + std::to_string(n) + ".sql"));
  }
  ASSERT_NE(script.find("\nCOPY "), std::string::npos);

  Received received;
  ASSERT_EQ(Recover("sink", &received), status);
  EXPECT_FALSE(fs::exists(Result("sink") / "recovered_1.sql"));
  EXPECT_FALSE(fs::exists(Result("sink") / "commit.sh"));

  std::string rebuilt;
  bool inTable = false, inCopy = false;
  int tables = 0, blocks = 0;
  for (const Piece& p : received.pieces) {
    rebuilt += p.text;
    const bool marker = p.kind == VESK_PIECE_TABLE_BEGIN || p.kind == VESK_PIECE_TABLE_END;
    EXPECT_EQ(p.named, inTable || p.kind == VESK_PIECE_TABLE_BEGIN) << p.kind << " " << p.text;
    EXPECT_EQ(marker, p.text.empty()) << p.kind;
    EXPECT_EQ(inCopy, p.kind == VESK_PIECE_COPY_DATA || p.kind == VESK_PIECE_COPY_END) << p.table;
    switch (p.kind) {
      case VESK_PIECE_TABLE_BEGIN:
        EXPECT_FALSE(inTable);
        inTable = true;
        ++tables;
        break;
      case VESK_PIECE_TABLE_END:
        EXPECT_TRUE(inTable);
        inTable = false;
        break;
      case VESK_PIECE_COPY_BEGIN:
        EXPECT_TRUE(inTable);
        EXPECT_EQ(p.text.rfind("COPY ", 0), 0u) << p.text;
        EXPECT_TRUE(p.text.ends_with(" FROM stdin;\n")) << p.text;
        inCopy = true;
        ++blocks;
        break;
      case VESK_PIECE_COPY_DATA:
        EXPECT_TRUE(p.text.ends_with("\n")) << "whole rows only: " << p.table;
        break;
      case VESK_PIECE_COPY_END:
        EXPECT_EQ(p.text, "\\.\n");
        inCopy = false;
        break;
      default:
        EXPECT_EQ(p.kind, VESK_PIECE_SQL);
        // Pieces of one kind in a row are batches; SQL text may be cut
        // anywhere, but never sent empty.
        EXPECT_FALSE(p.text.empty());
        break;
    }
  }
  EXPECT_FALSE(inTable);
  EXPECT_TRUE(rebuilt == script) << "pieces differ from the script files; sizes " << rebuilt.size() << " and "
                                 << script.size();
  size_t comments = 0;
  for (size_t at = script.find("-- Create table"); at != std::string::npos; at = script.find("-- Create table", at + 1)) {
    ++comments;
  }
  EXPECT_EQ(static_cast<size_t>(tables), comments);
  EXPECT_GT(blocks, 0);

  // A sink that says stop ends the run as the break flag does: nothing is
  // sent after the refused piece.
  Received refusing;
  refusing.refuseKind = VESK_PIECE_COPY_DATA;
  EXPECT_EQ(Recover("refused", &refusing), VESK_STOPPED);
  ASSERT_FALSE(refusing.pieces.empty());
  EXPECT_EQ(refusing.pieces.back().kind, VESK_PIECE_COPY_DATA);
}

}  // namespace
}  // namespace vesk
