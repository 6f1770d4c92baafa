// Sends the process log to a file of its own while the object lives, so
// that a test can look for the lines a run wrote.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "common/temp_dir.h"
#include "support/logger.h"

namespace vesk::testing {

class LogCapture {
 public:
  LogCapture() : path_(dir_ / "log.txt") { TheLog().Open(path_.c_str(), true); }
  ~LogCapture() { TheLog().Close(); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string Text() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Has(std::string_view line) const { return Text().find(line) != std::string::npos; }
  int Count(std::string_view line) const {
    const std::string text = Text();
    int n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
  }

 private:
  TempDir dir_;
  std::string path_;
};

}  // namespace vesk::testing
