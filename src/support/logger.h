// The diagnostic log: one process-wide logger, silent until a run opens a
// file. Every line goes straight to the file; a "[hh:mm:ss]" stamp line heads
// each second's lines.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <memory>

#include "platform/platform.h"

namespace vesk {

// Output sink of a logger: one unbuffered file handle.
class LogWriter {
 public:
  LogWriter() = default;
  virtual ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  platform::FileHandle handle = platform::kInvalidFile;
  unsigned char unused = 0;
};

class TarnLog {
 public:
  TarnLog();
  virtual ~TarnLog();
  TarnLog(const TarnLog&) = delete;
  TarnLog& operator=(const TarnLog&) = delete;

  // Switches to `fileName` (appending unless `truncate`) and enables the log.
  // Always true: an unopenable file just makes every write a no-op.
  virtual bool Open(const char* fileName, bool truncate);
  virtual void WriteMachineInfo();
  virtual void Close();
  virtual void Enable();
  virtual void EnableAgain();
  virtual void WriteLine(const char* text);
  virtual void WriteFormat(const char* format, ...) VESK_PRINTF_FORMAT(2, 3);
  virtual void HexDump(const void* data, size_t size);

  // Formats under the format lock and writes the result as one line.
  void WriteFormatV(const char* format, va_list args);

 private:
  void WriteRaw(const char* data, size_t size);

  unsigned char enabled_ = 0;
  std::unique_ptr<LogWriter> writer_;
  platform::Lock writeLock_;
  platform::Lock formatLock_;
  char formatBuffer_[16384];
  platform::LocalTime lastStamp_{};
};

class Logger : public TarnLog {};

// The process-wide logger.
Logger& TheLog();

void Log(const char* text);
void LogValue(const char* caption, const char* value);  // "caption [value]" / "caption [null]"
void LogNumber(const char* caption, int value);         // "caption [n]"
void LogError(const char* text);                        // "[ERROR]: text", then "text"
void LogErrorNumber(const char* text, int value);       // "[ERROR]: text [n]"
void LogFormat(const char* format, ...) VESK_PRINTF_FORMAT(1, 2);

}  // namespace vesk
