#include "api/sibling_library.h"

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "support/logger.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

using InitializeEntry = int32_t(VESK_CALL*)(int32_t);

// Kept between calls: once found, a later lookup that fails still loads it.
std::string libraryPath;
// Filled after Initialize for the sibling's benefit; nothing here reads them.
char productTitle[128];
char productAddress[128];

std::string SiblingPath() {
  std::string module;
  if (!platform::ThisModulePath(module)) return {};
  size_t cut = module.find_last_of(platform::kPathSeparators);
  std::string directory = cut == std::string::npos ? std::string() : module.substr(0, cut + 1);
  return directory + platform::LibraryFileName("tarncmn");
}

std::string lastFailure;

int32_t Fail(const char* what, const std::string& path) {
  lastFailure = std::string(what) + " [" + path + "]";
  Log(lastFailure.c_str());
  return VESK_NO_SIBLING_LIBRARY;
}

}  // namespace

const char* SiblingLibraryFailure() { return lastFailure.c_str(); }

int32_t LoadSiblingLibrary() {
  std::string candidate = SiblingPath();
  if (!candidate.empty() && platform::FileExists(candidate)) libraryPath = candidate;
  void* library = platform::LoadLibrary(libraryPath);
  if (!library) return Fail("[ERROR]: Cannot load tarncmn", libraryPath.empty() ? candidate : libraryPath);
  auto initialize = reinterpret_cast<InitializeEntry>(platform::FindEntryPoint(library, "Initialize"));
  if (!initialize) return Fail("[ERROR]: No Initialize in tarncmn", libraryPath);
  productTitle[0] = 0;
  productAddress[0] = 0;
  initialize(295);
  std::snprintf(productTitle, sizeof productTitle, "%s", "vesk recovery engine");
  std::snprintf(productAddress, sizeof productAddress, "%s", "localhost");
  return 0;
}

}  // namespace vesk
