#include "api/result_directory.h"

#include <cstdio>
#include <cstring>

#include "support/logger.h"

namespace vesk {
namespace {

const char* MonthAbbreviation(int month) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return month >= 1 && month <= 12 ? kMonths[month - 1] : "error";
}

std::string LastComponent(const std::string& path) {
  size_t cut = path.find_last_of(platform::kPathSeparators);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool IsAbsolute(const std::string& path) {
#ifdef _WIN32
  return path.size() >= 2 &&
         (path[1] == ':' || (platform::IsPathSeparator(path[0]) && platform::IsPathSeparator(path[1])));
#else
  return !path.empty() && path[0] == '/';
#endif
}

}  // namespace

std::string RunTimeText(const platform::LocalTime& time) {
  char text[96];
  std::snprintf(text, sizeof text, "%d-%s-%04d %02d.%02d.%02d", time.day, MonthAbbreviation(time.month),
                time.year, time.hour, time.minute, time.second);
  return text;
}

std::string DatabaseDirectoryName(const std::string& path) {
  std::string directory;
  size_t cut = path.find_last_of(platform::kPathSeparators);
  if (cut != std::string::npos) {
    directory = path.substr(0, cut);
  } else if (!platform::CurrentDirectory(directory)) {
    directory.clear();
  }
  std::string name = LastComponent(directory);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string ResultDirectoryPath(const std::string& prefix, const std::string& path,
                                const platform::LocalTime& time) {
  return NamedResultDirectoryPath(prefix, DatabaseDirectoryName(path), time);
}

std::string SafeFileName(const std::string& name) {
  std::string out;
  for (char c : name) {
    const bool refused = static_cast<unsigned char>(c) < 0x20 || std::strchr("/\\:*?\"<>|", c) != nullptr;
    out += refused ? '_' : c;
  }
  if (out.empty() || out == "." || out == "..") out = "_" + out;
  return out;
}

std::string NamedResultDirectoryPath(const std::string& prefix, const std::string& name,
                                     const platform::LocalTime& time) {
  std::string result = prefix + "Recovered " + name + " " + RunTimeText(time);
  std::string current;
  if (!IsAbsolute(result) && platform::CurrentDirectory(current)) {
    if (current.empty() || !platform::IsPathSeparator(current.back())) current += platform::kPathSeparator;
    result = current + result;
  }
  return result;
}

bool MakeResultDirectory(std::string& directory, bool numberOnCollision) {
  const std::string base = directory;
  for (int n = 2;; ++n) {
    if (platform::CreateDirectory(directory)) return true;
    if (!numberOnCollision || n > 999 || !platform::FileExists(directory)) break;
    directory = base + " (" + std::to_string(n) + ")";
  }
  const std::string reason = platform::LastErrorText();
  LogFormat("Cannot create result dir %s", directory.c_str());
  LogValue("Reason:", reason.c_str());
  return false;
}

}  // namespace vesk
