// The TOAST relations indexed during the current run, so that each is read
// once however many values point into it. Entries belong to one database
// directory: a run on another directory, or ResetToastCache, drops them.
#pragma once

#include <cstdint>
#include <memory>

#include "types/toast/toast_relation.h"

namespace vesk {

// The indexed relation `relid` of the current run's database, opened through
// the catalogs on first use; null when its scan was stopped. An unknown
// relation gives an unusable entry, kept so that it is looked up only once.
ToastRelation* ToastRelationFor(uint32_t relid, uint8_t version);

// While one lives, values are assembled from every stored chunk, dead ones
// too: the values of dead row versions lost their chunks with them. The
// live rows' values never see such an index.
class DeadChunksScope {
 public:
  DeadChunksScope();
  ~DeadChunksScope();
  DeadChunksScope(const DeadChunksScope&) = delete;
  DeadChunksScope& operator=(const DeadChunksScope&) = delete;

 private:
  bool before_;
};

// Puts an already indexed relation in the cache (replacing one with the same
// id and layout), for callers that open relations themselves.
void AdoptToastRelation(std::unique_ptr<ToastRelation> relation);

}  // namespace vesk
