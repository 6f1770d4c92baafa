#include "refused_file.h"

#include <utility>

namespace vesk::frontend {

RefusedFile::~RefusedFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void RefusedFile::Configure(PathSource path, EncodingSource encoding) {
  pathSource_ = std::move(path);
  encodingSource_ = std::move(encoding);
}

FILE* RefusedFile::File() {
  if (tried_) return file_;
  tried_ = true;
  const std::string path = pathSource_ ? pathSource_() : std::string();
  if (path.empty()) return nullptr;
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) {
    problem_ = "Cannot create " + path + ": the refused rows are only counted";
    return nullptr;
  }
  path_ = path;
  std::fputs("-- What the server refused during vesk-recover --into, each after its error.\n", file_);
  if (const std::string encoding = encodingSource_ ? encodingSource_() : std::string(); !encoding.empty()) {
    std::fprintf(file_, "SET client_encoding = '%s';\n", encoding.c_str());
  }
  std::fputs("\n", file_);
  return file_;
}

void RefusedFile::ErrorComment(const std::string& error) {
  size_t begin = 0;
  while (begin < error.size()) {
    size_t end = error.find('\n', begin);
    if (end == std::string::npos) end = error.size();
    std::fprintf(file_, "-- %.*s\n", static_cast<int>(end - begin), error.data() + begin);
    begin = end + 1;
  }
}

void RefusedFile::Statement(std::string_view statement, const std::string& error) {
  if (File() == nullptr) return;
  ErrorComment(error);
  std::fwrite(statement.data(), 1, statement.size(), file_);
  std::fputs(";\n\n", file_);
}

void RefusedFile::CopyBegin(const std::string& header, const std::string& error) {
  if (File() == nullptr) return;
  ErrorComment(error);
  std::fputs(header.c_str(), file_);
}

void RefusedFile::Row(std::string_view row) {
  if (file_ != nullptr) std::fwrite(row.data(), 1, row.size(), file_);
}

void RefusedFile::CopyEnd() {
  if (file_ != nullptr) std::fputs("\\.\n\n", file_);
}

bool RefusedFile::Flush() {
  if (file_ == nullptr || (std::fflush(file_) == 0 && !std::ferror(file_))) return true;
  problem_ = "Cannot write " + path_ + ": it may lack some of the refused rows";
  return false;
}

}  // namespace vesk::frontend
