// Whether the header of a heap page and the items on it can be what a
// server wrote. A page of random bytes, of another layout or of another
// relation kind fails here and is never walked.
#pragma once

#include <cstdint>

namespace vesk {

// An all-zero page: a relation extended by a server that crashed before it
// wrote the page. Empty, not damaged.
bool IsZeroPage(const uint8_t* page);

// Why the header of `page` cannot be a heap page header of the layout whose
// header is `headerSize` bytes (20: 8.2, 24: 8.3); null when it can. A
// sequence's page is a heap page with the sequence magic in a special space
// of its own; any other heap page has none.
const char* PageHeaderProblem(const uint8_t* page, uint32_t headerSize, bool sequencePage = false);

// Why an item with storage at `offset`, `length` bytes long, cannot lie in
// the tuple space of a plausible page (from pd_upper to pd_special); null
// when it can.
const char* ItemProblem(uint32_t offset, uint32_t length, uint32_t upper, uint32_t special);

}  // namespace vesk
