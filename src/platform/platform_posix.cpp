// POSIX implementation of the platform layer.
#include "platform/platform.h"
#include "platform/system_clock.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <link.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <new>
#include <random>

namespace vesk::platform {
namespace {

char anchor;  // an address inside this module, for dladdr

struct ModuleSearch {
  const char* stem;
  std::string found;
};

bool BaseNameStartsWith(const char* path, const char* stem) {
  const char* base = std::strrchr(path, '/');
  base = base ? base + 1 : path;
  size_t n = std::strlen(stem);
  if (std::strncmp(base, stem, n) == 0) return true;
  return std::strncmp(base, "lib", 3) == 0 && std::strncmp(base + 3, stem, n) == 0;
}

int VisitModule(struct dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<ModuleSearch*>(data);
  if (info->dlpi_name && info->dlpi_name[0] && BaseNameStartsWith(info->dlpi_name, search->stem)) {
    search->found = info->dlpi_name;
    return 1;
  }
  return 0;
}

bool MainProgramPath(std::string& out) {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return false;
  buf[n] = 0;
  out = buf;
  return true;
}

}  // namespace

bool ThisModulePath(std::string& out) {
  Dl_info info{};
  if (dladdr(&anchor, &info) == 0 || !info.dli_fname) return false;
  // Linked into the main program, dladdr names it by argv[0] or not at all.
  if (!std::strchr(info.dli_fname, '/')) return MainProgramPath(out);
  char resolved[PATH_MAX];
  out = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
  return true;
}

bool ModulePathByName(const char* stem, std::string& out) {
  ModuleSearch search{stem, {}};
  dl_iterate_phdr(VisitModule, &search);
  if (!search.found.empty()) {
    out = search.found;
    return true;
  }
  return MainProgramPath(out);
}

std::string LibraryFileName(const char* stem) { return std::string("lib") + stem + ".so"; }

void* LoadLibrary(const std::string& path) {
  // dlopen of an empty name would hand back the main program.
  return path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindEntryPoint(void* library, const char* name) { return library ? dlsym(library, name) : nullptr; }

// Shared objects carry no resources: the engine keeps its images in memory.
bool ModuleResource(const char*, const char*, const uint8_t** data, size_t* size) {
  *data = nullptr;
  *size = 0;
  return false;
}

LocalTime SystemLocalTime() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  time_t secs = tv.tv_sec;
  tm t{};
  localtime_r(&secs, &t);
  return LocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_wday, t.tm_mday,
                   t.tm_hour,        t.tm_min,     t.tm_sec,  static_cast<int>(tv.tv_usec / 1000)};
}

bool TempDirectory(std::string& out) {
  const char* dir = std::getenv("TMPDIR");
  out = (dir && dir[0]) ? dir : "/tmp";
  if (out.back() != '/') out += '/';
  return true;
}

bool CurrentDirectory(std::string& out) {
  char buf[PATH_MAX];
  if (!getcwd(buf, sizeof buf)) return false;
  out = buf;
  return true;
}

bool SystemDirectory(std::string&) { return false; }
bool WindowsDirectory(std::string&) { return false; }

bool SetCurrentDirectory(const std::string& path) { return chdir(path.c_str()) == 0; }

bool ComputerName(std::string& out) {
  char buf[256];
  if (gethostname(buf, sizeof buf) != 0) return false;
  buf[sizeof buf - 1] = 0;
  out = buf;
  return true;
}

bool NewUuidString(std::string& out) {
  unsigned char b[16];
  int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  bool ok = fd >= 0 && read(fd, b, sizeof b) == static_cast<ssize_t>(sizeof b);
  if (fd >= 0) close(fd);
  if (!ok) {
    std::random_device rd;
    for (auto& x : b) x = static_cast<unsigned char>(rd());
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
  char text[37];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  out = text;
  return true;
}

bool CreateDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

std::string LastErrorText() { return std::strerror(errno); }

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

bool CanEnterDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Names are bytes here, so the standard library's paths carry them unchanged.
bool AbsolutePath(const std::string& path, std::string& out) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return false;
  out = absolute.lexically_normal().string();
  return true;
}

bool FileStamp(const std::string& path, uint64_t* size, int64_t* modified) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  *size = static_cast<uint64_t>(st.st_size);
  *modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

bool MakeExecutable(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return chmod(path.c_str(), st.st_mode | S_IXUSR | S_IXGRP | S_IXOTH) == 0;
}

FileHandle OpenForAppend(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  return fd < 0 ? kInvalidFile : fd;
}

void WriteToFile(FileHandle file, const void* data, size_t size) {
  if (file == kInvalidFile) return;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(static_cast<int>(file), p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // write errors are ignored, as for the log
    p += n;
    size -= static_cast<size_t>(n);
  }
}

void CloseFile(FileHandle file) {
  if (file != kInvalidFile) close(static_cast<int>(file));
}

static_assert(sizeof(pthread_mutex_t) <= 64);

Lock::Lock() { new (storage_) pthread_mutex_t(PTHREAD_MUTEX_INITIALIZER); }
Lock::~Lock() { pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(storage_)); }
void Lock::Enter() { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(storage_)); }
void Lock::Leave() { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(storage_)); }

}  // namespace vesk::platform
