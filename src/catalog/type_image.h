// The built-in pg_type rows of a freshly created database of each layout, as
// a heap file image of six pages generated at build time from the readable
// tables in tools/typeimage.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

inline constexpr size_t kTypeImageSize = 49152;

// The image of the given layout (83, else 82); null with size 0 when the
// build carries none.
const uint8_t* BuiltinTypeImage(uint8_t version, size_t* size);

}  // namespace vesk
