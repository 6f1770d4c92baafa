// The element walk and the text of an array in the server's literal syntax.
#pragma once

#include <cstdint>
#include <functional>

#include "storage/datum.h"
#include "types/array/array_layout.h"

namespace vesk {

// How the elements lie in the data and which delimiter separates them.
struct ElementStorage {
  int16_t length = 0;  // > 0 fixed, -1 with a length header, -2 NUL-terminated
  bool byValue = false;
  char align = 'i';  // 'c', 's', 'i' or 'd'
  char delimiter = ',';
  uint8_t version = 83;  // layout of the element length headers
};

// Prints one present element; returns a scratch text (released here) or
// null when the element cannot be printed.
using ElementPrinter = std::function<char*(Datum element)>;

// The array text exactly as the server prints it: optional "[lo:hi]..="
// prefix, nested braces, "NULL" for null elements, elements quoted (with a
// backslash before '"' and '\') when empty, NULL-like, or holding a brace,
// the delimiter, a quote, a backslash or white space. Every element must lie
// inside the `size` bytes of `value`. Returns a scratch text; raises
// ScratchException (logged) for unreadable data, unprintable elements or a
// refused block.
char* ArrayText(const uint8_t* value, uint32_t size, const ArrayLayout& layout, const ElementStorage& storage,
                const ElementPrinter& print);

}  // namespace vesk
