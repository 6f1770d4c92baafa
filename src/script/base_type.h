// Following a domain to the type it is defined over, through the type
// catalog of the current run.
#pragma once

#include <cstdint>

#include "catalog/type_record.h"

namespace vesk {

// Domains nest at most this deep; a longer chain is taken as a damaged
// catalog (a cycle) and ends the walk.
inline constexpr int kMaxDomainDepth = 8;

// The type record of the current run for `oid`, without any log line; null
// when there is no type catalog or no such type.
const TypeRecord* LookupType(uint32_t oid);

// `type` itself unless it is a domain, else the first non-domain type of its
// base chain; `typmod` takes the domain's modifier when it has none of its
// own. Null when a base type is missing or the chain is too long.
const TypeRecord* ResolveDomain(const TypeRecord* type, int32_t& typmod);

}  // namespace vesk
