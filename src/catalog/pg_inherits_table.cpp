#include "catalog/pg_inherits_table.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "catalog/catalog_values.h"
#include "catalog/open_catalog.h"
#include "platform/platform.h"
#include "support/logger.h"

namespace vesk {
namespace {

constexpr uint32_t kInheritsRelid = 2611;

}  // namespace

pg_inherits_Table::pg_inherits_Table(uint8_t version)
    : reader_(OpenFixedLayoutRelation(kInheritsRelid, StaticCatalog::kPgInherits, this, version, "pg_inherits")) {}

int pg_inherits_Table::ReadLinks() {
  if (!platform::FileExists(reader_->path)) {
    LogValue("Cant find pg_inherits, no inheritance links:", reader_->path.c_str());
    return 0;
  }
  return reader_->ReadTable();
}

int pg_inherits_Table::ProcessRow(const RowValues& values, uint32_t) {
  const AttrValue* child = ValueAt(values, 0);
  const AttrValue* parent = ValueAt(values, 1);
  const AttrValue* seqno = ValueAt(values, 2);
  if (child == nullptr || parent == nullptr) return 0;
  InheritanceLink link;
  link.inhrelid = DatumU32(child->datum);
  link.inhparent = DatumU32(parent->datum);
  link.inhseqno = seqno != nullptr ? DatumI32(seqno->datum) : 0;
  if (link.inhrelid == 0 || link.inhparent == 0 || link.inhrelid == link.inhparent) return 0;
  links_.push_back(link);
  return 1;
}

std::vector<InheritanceLink> pg_inherits_Table::OrderedLinks() const {
  std::unordered_map<uint32_t, size_t> firstSeen;
  for (const InheritanceLink& link : links_) firstSeen.try_emplace(link.inhrelid, firstSeen.size());
  std::vector<InheritanceLink> ordered = links_;
  std::stable_sort(ordered.begin(), ordered.end(), [&](const InheritanceLink& a, const InheritanceLink& b) {
    const size_t ca = firstSeen.at(a.inhrelid);
    const size_t cb = firstSeen.at(b.inhrelid);
    return ca != cb ? ca < cb : a.inhseqno < b.inhseqno;
  });
  std::unordered_set<uint64_t> seen;
  std::vector<InheritanceLink> unique;
  for (const InheritanceLink& link : ordered) {
    if (seen.insert(uint64_t{link.inhrelid} << 32 | link.inhparent).second) unique.push_back(link);
  }
  return unique;
}

}  // namespace vesk
