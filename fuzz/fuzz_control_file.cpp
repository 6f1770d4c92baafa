// Control files and the first pages of a catalog: any bytes. The control
// file reader must stay inside the input whatever its version word and
// stored CRC say; the page probe inside each 8192-byte page whatever its
// line pointers and tuple headers say.
#include <cstddef>
#include <cstdint>
#include <span>

#include "storage/control_file.h"
#include "storage/page_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vesk::ParseControlFile(std::span(data, size));
  vesk::PageProbe probe;
  vesk::ProbePages(data, size, probe);
  return 0;
}
