// Script files that say how their text is encoded, and text made valid
// UTF-8 when they say UTF8.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "script/writer/output_files.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::ReadFile;
using testing::TempDir;

class EncodingOutputTest : public ::testing::Test {
 protected:
  EncodingOutputTest() {
    TheLog().Open((dir_ / "log.txt").c_str(), true);
    result_ = dir_ / "result";
    std::filesystem::create_directory(result_);
    vesk::Run().resultDirectory = result_;
  }
  ~EncodingOutputTest() override {
    CloseOutputFiles();
    vesk::Run().settings = DatabaseSettings{};
    TheLog().Open(nullptr, false);
  }

  TempDir dir_;
  std::string result_;
};

TEST_F(EncodingOutputTest, EveryScriptFileDeclaresTheEncodingAndUtf8TextStaysValid) {
  vesk::Run().settings.clientEncoding = "UTF8";
  vesk::Run().settings.repairUtf8 = true;
  ASSERT_TRUE(OpenOutputFiles(result_));
  WriteScriptText("CREATE TABLE \"caf\xE9\" (\"\xE2\x82\xAC\" text);\n");
  Script().byteCount = kScriptFileLimit;  // the next statement begins file 2
  WriteScript("-- %s\n", "na\xEFve");
  CloseOutputFiles();
  EXPECT_EQ(ReadFile(result_ + "/recovered_1.sql"),
            "SET client_encoding = 'UTF8';\nCREATE TABLE \"caf\xC3\xA9\" (\"\xE2\x82\xAC\" text);\n");
  EXPECT_EQ(ReadFile(result_ + "/recovered_2.sql"), "SET client_encoding = 'UTF8';\n-- na\xC3\xAFve\n");
}

TEST_F(EncodingOutputTest, DeclaredSingleByteTextGoesOutAsStored) {
  vesk::Run().settings.clientEncoding = "LATIN1";
  ASSERT_TRUE(OpenOutputFiles(result_));
  WriteScriptText("-- caf\xE9\n");
  CloseOutputFiles();
  EXPECT_EQ(ReadFile(result_ + "/recovered_1.sql"), "SET client_encoding = 'LATIN1';\n-- caf\xE9\n");
}

}  // namespace
}  // namespace vesk
