// Win32 implementation of the platform layer (kernel32 and the RPC runtime).
#include <windows.h>
#include <rpc.h>

// windows.h maps these names to their A/W variants; the platform layer's own
// functions of the same names must keep theirs.
#undef LoadLibrary
#undef CreateDirectory
#undef SetCurrentDirectory

#include <cstring>
#include <new>
#include <string>

#include "platform/platform.h"
#include "platform/system_clock.h"

namespace vesk::platform {
namespace {

char anchor;  // an address inside this module, to find the module by

// Full file name of a module (null: the main program). Grows the buffer while
// the name is cut off, so long paths come back whole.
bool ModuleFileName(HMODULE module, std::string& out) {
  std::string buffer(MAX_PATH, '\0');
  for (int attempt = 0; attempt < 6; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD n = GetModuleFileNameA(module, buffer.data(), size);
    if (n == 0) return false;
    if (n < size) {
      buffer.resize(n);
      out = buffer;
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
  return false;
}

// Text of a call that fills a caller's buffer and returns the length it
// wrote, or the size it needs (with the terminating NUL) when it does not fit.
template <typename Fill>
bool SizedText(Fill fill, std::string& out) {
  std::string buffer(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return false;
    if (n < buffer.size()) {
      buffer.resize(n);
      out = buffer;
      return true;
    }
    buffer.resize(n + 1);
  }
  return false;
}

HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

bool ThisModulePath(std::string& out) {
  HMODULE self = nullptr;
  DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!GetModuleHandleExA(flags, &anchor, &self)) return false;
  return ModuleFileName(self, out);
}

bool ModulePathByName(const char* stem, std::string& out) {
  HMODULE module = GetModuleHandleA((std::string(stem) + ".dll").c_str());
  return ModuleFileName(module, out);  // null module: the main program
}

std::string LibraryFileName(const char* stem) { return std::string(stem) + ".dll"; }

void* LoadLibrary(const std::string& path) {
  // An empty name is no library; LoadLibraryA would fail on it anyway.
  return path.empty() ? nullptr : reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
}

void* FindEntryPoint(void* library, const char* name) {
  if (!library) return nullptr;
  FARPROC entry = GetProcAddress(static_cast<HMODULE>(library), name);
  void* address = nullptr;
  static_assert(sizeof entry == sizeof address);
  std::memcpy(&address, &entry, sizeof address);
  return address;
}

bool ModuleResource(const char* moduleFile, const char* name, const uint8_t** data, size_t* size) {
  *data = nullptr;
  *size = 0;
  HMODULE module = GetModuleHandleA(moduleFile);
  if (!module) return false;
  HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  DWORD length = SizeofResource(module, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes || length == 0) return false;
  // Resources live as long as their module; FreeResource is a no-op on
  // Win32 and the bytes must stay valid for the caller.
  *data = static_cast<const uint8_t*>(bytes);
  *size = length;
  return true;
}

LocalTime SystemLocalTime() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

bool TempDirectory(std::string& out) {
  if (!SizedText([](char* b, DWORD n) { return GetTempPathA(n, b); }, out)) return false;
  if (out.back() != '\\') out += '\\';
  return true;
}

bool CurrentDirectory(std::string& out) {
  return SizedText([](char* b, DWORD n) { return GetCurrentDirectoryA(n, b); }, out);
}

bool SystemDirectory(std::string& out) {
  return SizedText([](char* b, DWORD n) { return static_cast<DWORD>(GetSystemDirectoryA(b, n)); }, out);
}

bool WindowsDirectory(std::string& out) {
  return SizedText([](char* b, DWORD n) { return static_cast<DWORD>(GetWindowsDirectoryA(b, n)); }, out);
}

bool SetCurrentDirectory(const std::string& path) { return SetCurrentDirectoryA(path.c_str()) != 0; }

bool ComputerName(std::string& out) {
  char buffer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof buffer;
  if (!GetComputerNameA(buffer, &size)) return false;
  out.assign(buffer, size);
  return true;
}

bool NewUuidString(std::string& out) {
  UUID uuid;
  RPC_STATUS status = UuidCreate(&uuid);
  // A locally unique identifier is good enough for a temporary file name.
  if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) return false;
  RPC_CSTR text = nullptr;
  if (UuidToStringA(&uuid, &text) != RPC_S_OK || !text) return false;
  out = reinterpret_cast<const char*>(text);
  RpcStringFreeA(&text);
  return true;
}

bool CreateDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

std::string LastErrorText() {
  DWORD code = GetLastError();
  char buffer[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                           sizeof buffer, nullptr);
  // The system's text ends in a line break; the log adds its own.
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == '.')) --n;
  return n > 0 ? std::string(buffer, n) : "error " + std::to_string(code);
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CanEnterDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The system's own resolution keeps the ANSI code page's bytes as they are,
// takes '/' for '\\' and resolves "." and "..".
bool AbsolutePath(const std::string& path, std::string& out) {
  char buffer[MAX_PATH];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0) return false;
  if (length < sizeof buffer) {
    out.assign(buffer, length);
    return true;
  }
  std::string longer(length, '\0');
  DWORD written = GetFullPathNameA(path.c_str(), length, longer.data(), nullptr);
  if (written == 0 || written >= length) return false;
  longer.resize(written);
  out = longer;
  return true;
}

bool FileStamp(const std::string& path, uint64_t* size, int64_t* modified) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  *modified = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                   data.ftLastWriteTime.dwLowDateTime);
  return true;
}

// Whether a file runs is decided by its name here, not by a permission bit.
bool MakeExecutable(const std::string& path) { return FileExists(path); }

// The log is made in the user's own temporary directory, whose inherited
// access list already keeps other users out.
FileHandle OpenForAppend(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kInvalidFile;
  SetFilePointer(file, 0, nullptr, FILE_END);
  return reinterpret_cast<FileHandle>(file);
}

void WriteToFile(FileHandle file, const void* data, size_t size) {
  if (file == kInvalidFile) return;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    // Write errors are ignored, as everywhere in the log.
    if (!WriteFile(AsHandle(file), p, chunk, &written, nullptr) || written == 0) return;
    p += written;
    size -= written;
  }
}

void CloseFile(FileHandle file) {
  if (file != kInvalidFile) CloseHandle(AsHandle(file));
}

static_assert(sizeof(CRITICAL_SECTION) <= 64);

Lock::Lock() { InitializeCriticalSection(new (storage_) CRITICAL_SECTION); }
Lock::~Lock() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void Lock::Enter() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void Lock::Leave() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

}  // namespace vesk::platform
