#include "support/logger.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace vesk {
namespace {

const char* OrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

LogWriter::~LogWriter() { platform::CloseFile(handle); }

TarnLog::TarnLog() {
  lastStamp_ = platform::NowLocal();
  // Make the first line always get a stamp.
  lastStamp_.second = (lastStamp_.second + 59) % 60;
}

TarnLog::~TarnLog() = default;

bool TarnLog::Open(const char* fileName, bool truncate) {
  if (writer_) Close();
  // A new file starts with a stamp line too: otherwise a log opened within
  // the second of the previous file's last line would not say when it began.
  lastStamp_.second = (lastStamp_.second + 59) % 60;
  writer_ = std::make_unique<LogWriter>();
  if (fileName) {
    if (truncate) {
      if (FILE* f = std::fopen(fileName, "wb")) std::fclose(f);
    }
    writer_->handle = platform::OpenForAppend(fileName);
  }
  Enable();
  return true;
}

void TarnLog::WriteMachineInfo() {
  static const char kRule[] = "====================================================";
  WriteLine(kRule);
  WriteLine("============== LOGGER MACHINE INFO =================");
  WriteLine(kRule);
  WriteFormat("__DATE__ [%s]", __DATE__);
  WriteFormat("__TIME__ [%s]", __TIME__);
  std::string text;
  if (platform::ThisModulePath(text)) WriteFormat("Logging output for [%s]", text.c_str());
  if (platform::CurrentDirectory(text)) WriteFormat("GetCurrentDirectory [%s]", text.c_str());
  // Where the system has no such directories their lines are left out, as
  // for a failing call.
  if (platform::SystemDirectory(text)) WriteFormat("GetSystemDirectory [%s]", text.c_str());
  if (platform::WindowsDirectory(text)) WriteFormat("GetWindowsDirectory [%s]", text.c_str());
  if (platform::TempDirectory(text)) WriteFormat("GetTempPath [%s]", text.c_str());
  if (platform::ComputerName(text)) WriteFormat("GetComputerName [%s]", text.c_str());
  WriteLine(kRule);
}

void TarnLog::Close() { writer_.reset(); }

void TarnLog::Enable() { enabled_ = 1; }

void TarnLog::EnableAgain() { enabled_ = 1; }

void TarnLog::WriteRaw(const char* data, size_t size) {
  platform::LockGuard guard(writeLock_);
  if (writer_ && writer_->handle != platform::kInvalidFile && enabled_) {
    platform::WriteToFile(writer_->handle, data, size);
  }
}

void TarnLog::WriteLine(const char* text) {
  if (!text) text = "";
  // Stamp, text and line feed go out in one write: a line is never split by
  // another thread's, and a run logging a line per value pays one system
  // call per line, not four.
  char line[512];
  size_t used = 0;
  platform::LocalTime now = platform::NowLocal();
  if (now.second != lastStamp_.second || now.minute != lastStamp_.minute || now.hour != lastStamp_.hour) {
    lastStamp_ = now;
    int n = std::snprintf(line, sizeof line, "[%02d:%02d:%02d]\n", now.hour, now.minute, now.second);
    used = n > 0 ? static_cast<size_t>(n) : 0;
  }
  size_t length = std::strlen(text);
  if (used + length + 1 <= sizeof line) {
    std::memcpy(line + used, text, length);
    line[used + length] = '\n';
    WriteRaw(line, used + length + 1);
    return;
  }
  std::string whole(line, used);
  whole.append(text, length);
  whole += '\n';
  WriteRaw(whole.data(), whole.size());
}

void TarnLog::WriteFormatV(const char* format, va_list args) {
  if (!format) return;
  platform::LockGuard guard(formatLock_);
  // A text longer than the buffer is cut at its end rather than dropped.
  std::vsnprintf(formatBuffer_, sizeof formatBuffer_, format, args);
  WriteLine(formatBuffer_);
}

void TarnLog::WriteFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteFormatV(format, args);
  va_end(args);
}

void TarnLog::HexDump(const void* data, size_t size) {
  if (data == nullptr && size > 0) {
    WriteLine("The binary data here seems to be an invalid memory block");
    char line[80];
    std::snprintf(line, sizeof line, "There is no way to show it, the pointer was 0x%08X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
    WriteLine(line);
    return;
  }
  static const char kHex[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(data);
  char line[256] = {};
  for (size_t i = 0; i < size; ++i) {
    size_t col = i % 16;
    if (col == 0) {
      if (i != 0) WriteLine(line);
      std::memset(line, ' ', 78);
      char offset[16];
      std::snprintf(offset, sizeof offset, "%08X", static_cast<unsigned>(i));
      std::memcpy(line, offset, 8);
      line[8] = ':';
      line[60] = '|';
    }
    unsigned char b = bytes[i];
    line[11 + 3 * col] = kHex[b >> 4];
    line[12 + 3 * col] = kHex[b & 15];
    line[62 + col] = b < 32 ? '.' : static_cast<char>(b);
  }
  WriteLine(line);
}

Logger& TheLog() {
  // Never destroyed: lines may still be logged while other statics go away.
  static Logger* log = new Logger();
  return *log;
}

void Log(const char* text) { TheLog().WriteLine(text ? text : ""); }

void LogValue(const char* caption, const char* value) {
  if (value) {
    TheLog().WriteFormat("%s [%s]", OrEmpty(caption), value);
  } else {
    TheLog().WriteFormat("%s [null]", OrEmpty(caption));
  }
}

void LogNumber(const char* caption, int value) { TheLog().WriteFormat("%s [%d]", OrEmpty(caption), value); }

void LogError(const char* text) {
  TheLog().WriteFormat("[ERROR]: %s", OrEmpty(text));
  TheLog().WriteFormat("%s", OrEmpty(text));
}

void LogErrorNumber(const char* text, int value) {
  TheLog().WriteFormat("[ERROR]: %s [%d]", OrEmpty(text), value);
}

void LogFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  TheLog().WriteFormatV(format, args);
  va_end(args);
}

}  // namespace vesk
