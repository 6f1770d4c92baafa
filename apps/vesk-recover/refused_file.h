// refused.sql: what the server refused during a load, as SQL to mend and
// load again, each statement or COPY block after the server's error as a
// comment. Made when the first refusal comes.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace vesk::frontend {

class RefusedFile {
 public:
  // Gives the file's path, asked once when the first refusal comes; "" (or
  // no function) keeps nothing.
  using PathSource = std::function<std::string()>;
  // The session's client encoding when the file is made, declared at its top.
  using EncodingSource = std::function<std::string()>;

  RefusedFile() = default;
  ~RefusedFile();
  RefusedFile(const RefusedFile&) = delete;
  RefusedFile& operator=(const RefusedFile&) = delete;

  void Configure(PathSource path, EncodingSource encoding);

  void Statement(std::string_view statement, const std::string& error);
  // A COPY block of refused rows: begun, its rows, ended.
  void CopyBegin(const std::string& header, const std::string& error);
  void Row(std::string_view row);
  void CopyEnd();

  // The path once the file exists, else "".
  const std::string& Path() const { return path_; }
  // Why the file could not be made or written, else "" (told once).
  std::string TakeProblem() { return std::exchange(problem_, {}); }
  // Writes what is buffered; false when the file could not be written.
  bool Flush();

 private:
  FILE* File();
  void ErrorComment(const std::string& error);

  PathSource pathSource_;
  EncodingSource encodingSource_;
  FILE* file_ = nullptr;
  bool tried_ = false;
  std::string path_;
  std::string problem_;
};

}  // namespace vesk::frontend
