// Sends everything the script writer writes to a temporary file for the
// lifetime of the object, so that a test can read what a run wrote.
#pragma once

#include <cstdio>
#include <string>

#include "script/writer/script_writer.h"

namespace vesk::testing {

class CapturedScript {
 public:
  CapturedScript() : file_(std::tmpfile()) {
    saved_ = Script().script;
    Script().script = file_;
  }
  ~CapturedScript() {
    Script().script = saved_;
    if (file_) std::fclose(file_);
  }
  CapturedScript(const CapturedScript&) = delete;
  CapturedScript& operator=(const CapturedScript&) = delete;

  // Everything written so far; empty when no temporary file could be made.
  std::string Text() const {
    std::string out;
    if (!file_) return out;
    std::fflush(file_);
    std::rewind(file_);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) out.append(buf, n);
    return out;
  }

 private:
  FILE* file_;
  FILE* saved_;
};

}  // namespace vesk::testing
