#include "support/logger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::FixedClock;
using testing::MakeTime;
using testing::ReadFile;
using testing::TempDir;

// Each test gets its own log file under a fixed clock at 09:55:27; the
// shared logger is left pointing at nothing afterwards.
class LoggerTest : public ::testing::Test {
 protected:
  LoggerTest() : clock_(MakeTime(2026, 12, 6, 9, 55, 27)) {}
  ~LoggerTest() override { TheLog().Open(nullptr, false); }

  std::string OpenShared() {
    std::string path = dir_ / "log.txt";
    TheLog().Open(path.c_str(), true);
    return path;
  }
  // The log's lines after the first stamp line.
  std::string Body(const std::string& path) {
    std::string text = ReadFile(path);
    return text.rfind("[09:55:27]\n", 0) == 0 ? text.substr(11) : text;
  }

  TempDir dir_;
  FixedClock clock_;
};

TEST_F(LoggerTest, StampLineHeadsEachSecondsLines) {
  clock_.Set(9, 55, 26);
  Log("moves the last stamp away from 09:55:27");
  clock_.Set(9, 55, 27);
  std::string path = OpenShared();
  Log("loading tarncmn...");
  Log("S: FileRecover()");
  clock_.Set(9, 55, 28);
  Log("FileRecover() started");
  clock_.Set(10, 55, 28);  // only the hour differs
  Log("later");
  EXPECT_EQ(ReadFile(path),
            "[09:55:27]\nloading tarncmn...\nS: FileRecover()\n[09:55:28]\nFileRecover() started\n"
            "[10:55:28]\nlater\n");
}

TEST_F(LoggerTest, NothingIsWrittenBeforeOpenAndStampMovesAnyway) {
  Logger log;
  log.WriteLine("dropped");  // no writer yet: silently nothing
  log.HexDump("ab", 2);
  std::string path = dir_ / "own.txt";
  log.Open(path.c_str(), false);
  log.WriteLine("kept");
  // The dropped line took this second's stamp, but a new file gets its own.
  EXPECT_EQ(ReadFile(path), "[09:55:27]\nkept\n");
}

TEST_F(LoggerTest, OpenAppendsUnlessTruncating) {
  std::string path = dir_ / "append.txt";
  {
    Logger log;
    log.Open(path.c_str(), false);
    log.WriteLine("one");
  }
  {
    Logger log;
    log.Open(path.c_str(), false);
    log.WriteLine("two");
  }
  EXPECT_EQ(ReadFile(path), "[09:55:27]\none\n[09:55:27]\ntwo\n");
  Logger log;
  log.Open(path.c_str(), true);
  log.WriteLine("three");
  EXPECT_EQ(ReadFile(path), "[09:55:27]\nthree\n");
}

TEST_F(LoggerTest, UnopenableFileMakesWritesNoOps) {
  Logger log;
  EXPECT_TRUE(log.Open((dir_ / "missing/dir/log.txt").c_str(), false));
  log.WriteLine("nowhere");
  log.WriteFormat("%d", 1);
}

struct WrapperCase {
  const char* name;
  void (*write)();
  const char* expected;
};

TEST_F(LoggerTest, WrapperFormats) {
  const WrapperCase cases[] = {
      {"Log", [] { Log("plain"); }, "plain\n"},
      {"LogValue", [] { LogValue("Filename is", "/pg/1259"); }, "Filename is [/pg/1259]\n"},
      {"LogValue null", [] { LogValue("Filename is", nullptr); }, "Filename is [null]\n"},
      {"LogNumber", [] { LogNumber(" - tables recovered:", -12); }, " - tables recovered: [-12]\n"},
      {"LogError", [] { LogError("x"); }, "[ERROR]: x\nx\n"},
      {"LogErrorNumber", [] { LogErrorNumber("Is too march size allocated", 7); },
       "[ERROR]: Is too march size allocated [7]\n"},
      {"LogFormat", [] { LogFormat("\t%i\tpointers was not free", 3); }, "\t3\tpointers was not free\n"},
      {"null text", [] { Log(nullptr); }, "\n"},
  };
  for (const WrapperCase& c : cases) {
    std::string path = OpenShared();
    c.write();
    EXPECT_EQ(Body(path), c.expected) << c.name;
  }
}

TEST_F(LoggerTest, OverlongFormattedLineIsCutNotOverrun) {
  std::string path = OpenShared();
  std::string big(20000, 'y');
  LogFormat("%s", big.c_str());
  std::string body = Body(path);
  EXPECT_EQ(body.size(), 16383u + 1u);
  EXPECT_EQ(body.back(), '\n');
}

TEST_F(LoggerTest, MachineInfoHeader) {
  std::string path = OpenShared();
  TheLog().WriteMachineInfo();
  std::string body = Body(path);
  const std::string rule(52, '=');
  EXPECT_EQ(body.rfind(rule + "\n============== LOGGER MACHINE INFO =================\n" + rule + "\n__DATE__ [", 0),
            0u);
  EXPECT_NE(body.find("\n__TIME__ ["), std::string::npos);
  EXPECT_NE(body.find("\nLogging output for [/"), std::string::npos);
  EXPECT_NE(body.find("\nGetTempPath ["), std::string::npos);
  EXPECT_EQ(body.find("GetSystemDirectory"), std::string::npos);
  EXPECT_EQ(body.substr(body.size() - 53), rule + "\n");
}

std::vector<std::string> DumpLines(const std::string& body) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = body.find('\n', start)) != std::string::npos; start = nl + 1) {
    lines.push_back(body.substr(start, nl - start));
  }
  return lines;
}

TEST_F(LoggerTest, HexDumpOfTwentyBytes) {
  std::string path = OpenShared();
  unsigned char data[20];
  for (int i = 0; i < 20; ++i) data[i] = static_cast<unsigned char>(0x41 + i);
  data[1] = 0x0A;
  data[16] = 0xFF;
  TheLog().HexDump(data, sizeof data);
  std::vector<std::string> lines = DumpLines(Body(path));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "00000000:  41 0A 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50  | A.CDEFGHIJKLMNOP");
  std::string second = "00000010:  FF 52 53 54" + std::string(38, ' ') + "| \xFFRST" + std::string(12, ' ');
  EXPECT_EQ(lines[1], second);
  EXPECT_EQ(lines[0].size(), 78u);
  EXPECT_EQ(lines[1].size(), 78u);
}

TEST_F(LoggerTest, HexDumpEdgeCases) {
  std::string path = OpenShared();
  TheLog().HexDump("", 0);
  EXPECT_EQ(Body(path), "\n");

  path = OpenShared();
  TheLog().HexDump(nullptr, 4);
  EXPECT_EQ(Body(path),
            "The binary data here seems to be an invalid memory block\n"
            "There is no way to show it, the pointer was 0x00000000\n");

  path = OpenShared();
  unsigned char sixteen[16] = {};
  TheLog().HexDump(sixteen, 16);  // exactly one full line, no trailing empty one
  std::vector<std::string> lines = DumpLines(Body(path));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(60), "| ................");
}

}  // namespace
}  // namespace vesk
