#include "types/toast/toast_cache.h"

#include <algorithm>
#include <string>
#include <vector>

#include "support/recovery_run.h"
#include "types/toast/toast.h"

namespace vesk {
namespace {

// A table has one TOAST relation and tables are written one after another,
// so a few entries hold every relation still in use.
constexpr size_t kCachedRelations = 4;

struct ToastCache {
  std::string databaseDirectory;
  std::vector<std::unique_ptr<ToastRelation>> recent;  // most recently used first
};

bool deadChunksWanted = false;  // a DeadChunksScope is alive

ToastCache& Cache() {
  static ToastCache* cache = new ToastCache();
  return *cache;
}

// Drops everything when the run now reads another database directory.
ToastCache& CacheForCurrentRun() {
  ToastCache& cache = Cache();
  if (cache.databaseDirectory != Run().databaseDirectory) {
    cache.recent.clear();
    cache.databaseDirectory = Run().databaseDirectory;
  }
  return cache;
}

void PutFirst(ToastCache& cache, std::unique_ptr<ToastRelation> relation) {
  auto& recent = cache.recent;
  recent.erase(std::remove_if(recent.begin(), recent.end(),
                              [&](const std::unique_ptr<ToastRelation>& r) {
                                return r->relid() == relation->relid() && r->version() == relation->version() &&
                                       r->allVersions() == relation->allVersions();
                              }),
               recent.end());
  recent.insert(recent.begin(), std::move(relation));
  if (recent.size() > kCachedRelations) recent.resize(kCachedRelations);
}

}  // namespace

ToastRelation* ToastRelationFor(uint32_t relid, uint8_t version) {
  ToastCache& cache = CacheForCurrentRun();
  auto& recent = cache.recent;
  for (size_t i = 0; i < recent.size(); ++i) {
    if (recent[i]->relid() == relid && recent[i]->version() == version &&
        recent[i]->allVersions() == deadChunksWanted) {
      if (!recent[i]->StillCurrent()) {
        recent.erase(recent.begin() + static_cast<long>(i));
        break;
      }
      std::rotate(recent.begin(), recent.begin() + static_cast<long>(i), recent.begin() + static_cast<long>(i) + 1);
      return recent.front().get();
    }
  }
  std::unique_ptr<ToastRelation> opened = OpenToastRelation(relid, version, deadChunksWanted);
  if (!opened) return nullptr;
  PutFirst(cache, std::move(opened));
  return recent.front().get();
}

DeadChunksScope::DeadChunksScope() : before_(deadChunksWanted) { deadChunksWanted = true; }
DeadChunksScope::~DeadChunksScope() { deadChunksWanted = before_; }

void AdoptToastRelation(std::unique_ptr<ToastRelation> relation) {
  if (relation) PutFirst(CacheForCurrentRun(), std::move(relation));
}

void ResetToastCache() {
  Cache().recent.clear();
  Cache().databaseDirectory.clear();
}

}  // namespace vesk
