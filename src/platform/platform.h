// The only place that knows the operating system. Everything the engine needs
// from it (module paths, libraries, time, directories, machine name, UUIDs,
// locks, files for the log) goes through these functions, so that a Windows
// build only has to provide another implementation of this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// printf-style format checking by the rules of the C library in use: on
// Windows that is MinGW's C99 printf (%zu, %lld), not the system's.
#if defined(__MINGW32__)
#define VESK_PRINTF_FORMAT(string_index, first_to_check) __attribute__((__format__(gnu_printf, string_index, first_to_check)))
#else
#define VESK_PRINTF_FORMAT(string_index, first_to_check) __attribute__((__format__(printf, string_index, first_to_check)))
#endif

namespace vesk::platform {

// Separator between path components that the engine writes ('\\' on
// Windows), and every character that separates them in a path it is given:
// Windows takes '/' as well.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr char kPathSeparators[] = "\\/";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr char kPathSeparators[] = "/";
#endif
inline bool IsPathSeparator(char c) {
  for (const char* s = kPathSeparators; *s != 0; ++s) {
    if (*s == c) return true;
  }
  return false;
}

// Full path of the module (shared library) that contains this engine.
bool ThisModulePath(std::string& out);
// Full path of a loaded module whose file name starts with `stem` (for example
// "quorndll" matches libquorndll.so); the main program's path when no such
// module is loaded.
bool ModulePathByName(const char* stem, std::string& out);
// File name of a sibling library as the platform spells it ("tarncmn" ->
// "libtarncmn.so").
std::string LibraryFileName(const char* stem);

// Loads a shared library; null on failure. Never unloaded.
void* LoadLibrary(const std::string& path);
void* FindEntryPoint(void* library, const char* name);
// The raw-data resource `name` (matched without regard to case) of the loaded
// module `moduleFile` ("quorndll.dll"). The bytes stay valid while the module
// is loaded. False where the module, the resource or resources at all are
// missing.
bool ModuleResource(const char* moduleFile, const char* name, const uint8_t** data, size_t* size);

struct LocalTime {
  int year, month, dayOfWeek, day, hour, minute, second, millisecond;
};
LocalTime NowLocal();
// Replaces the clock behind NowLocal (null restores the real one), so that
// time-dependent names and stamp lines can be checked.
using ClockFunction = LocalTime (*)();
void SetClockForTesting(ClockFunction clock);

bool TempDirectory(std::string& out);  // with a trailing separator
bool CurrentDirectory(std::string& out);
// The system's own directories, for the log's machine information; false
// where the platform has no such thing.
bool SystemDirectory(std::string& out);
bool WindowsDirectory(std::string& out);
bool SetCurrentDirectory(const std::string& path);
bool ComputerName(std::string& out);
bool NewUuidString(std::string& out);
// Creates one directory level; false when it exists or the parent is missing.
bool CreateDirectory(const std::string& path);
// The system's words for why the last failed call of this thread failed
// ("Permission denied", "Read-only file system"), for the log and the user.
std::string LastErrorText();
bool FileExists(const std::string& path);
// A directory the process may make its current directory.
bool CanEnterDirectory(const std::string& path);
// The absolute form of `path` with "." and ".." resolved, in the platform's own
// spelling of names: bytes as they are on POSIX, the ANSI code page on Windows
// (never converted through another encoding). False when it cannot be made.
bool AbsolutePath(const std::string& path, std::string& out);
// Size and modification time (in the platform's own units) of a file; false
// when it cannot be read.
bool FileStamp(const std::string& path, uint64_t* size, int64_t* modified);
// Lets the owner run the file as a program (loader scripts).
bool MakeExecutable(const std::string& path);

// Whether the result directory also gets shell loader scripts: the batch
// files cannot run where there is no command interpreter for them.
#ifdef _WIN32
inline constexpr bool kWritesShellLoaders = false;
#else
inline constexpr bool kWritesShellLoaders = true;
#endif

// Unbuffered file for the diagnostic log: opened for appending (created when
// missing, readable by its owner only: it can hold dumps of the user's data),
// shared with other readers and writers.
using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidFile = -1;
FileHandle OpenForAppend(const std::string& path);
void WriteToFile(FileHandle file, const void* data, size_t size);
void CloseFile(FileHandle file);

// A mutual-exclusion lock (a critical section on Windows).
class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void Enter();
  void Leave();

 private:
  alignas(16) unsigned char storage_[64];
};

class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Enter(); }
  ~LockGuard() { lock_.Leave(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

}  // namespace vesk::platform
