// inet, cidr and macaddr.
#include "types/geometric/network_out.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/logger.h"
#include "support/scratch.h"
#include "types/geometric/geometric_out.h"
#include "types/geometric/output_guard.h"
#include "types/toast/varlena.h"

namespace vesk {
namespace {

constexpr uint8_t kFamilyIPv4 = 2;
constexpr uint8_t kFamilyIPv6 = 3;
constexpr size_t kAddressText = 50;

struct ZeroRun {
  int base = -1;
  int length = 0;
};

// Longest run of zero words; a later run wins only when strictly longer, and
// a single zero word is not shortened.
ZeroRun LongestZeroRun(const uint16_t (&words)[8]) {
  ZeroRun best;
  ZeroRun current;
  for (int i = 0; i <= 8; ++i) {
    if (i < 8 && words[i] == 0) {
      if (current.base < 0) current = {i, 0};
      ++current.length;
      continue;
    }
    if (current.base >= 0 && current.length > best.length) best = current;
    current = {};
  }
  if (best.length < 2) best = {};
  return best;
}

bool InRun(const ZeroRun& run, int i) { return run.base >= 0 && i >= run.base && i < run.base + run.length; }

// The forms ::a.b.c.d and ::ffff:a.b.c.d keep their IPv4 tail.
bool HasIPv4Tail(const ZeroRun& run, const uint16_t (&words)[8]) {
  return run.base == 0 && (run.length == 6 || (run.length == 5 && words[5] == 0xffff));
}

// Where the address bytes of a stored inet/cidr start, its family and bits,
// or null when the header or the stored length does not hold an address.
struct InetFields {
  uint8_t family = 0;
  uint8_t bits = 0;
  const uint8_t* address = nullptr;
  uint32_t available = 0;  // bytes of address the stored length holds
};

InetFields LocateInet(const uint8_t* v, uint8_t version) {
  InetFields f;
  uint32_t header = 4;
  uint32_t size = 0;
  if (version != 83) {
    size = VarSize82(v);
  } else if (v[0] == 0x01) {
    return f;  // an out-of-line pointer: not an address
  } else if (v[0] & 1) {
    header = 1;
    size = v[0] >> 1u;
  } else {
    size = VarSize83(v);
  }
  if (size < header + 2) return f;
  f.family = v[header];
  f.bits = v[header + 1];
  f.address = v + header + 2;
  f.available = size - header - 2;
  return f;
}

}  // namespace

char* FormatIPv4(const uint8_t* address, uint32_t bits, char* buffer, size_t size, int& error) {
  if (bits > 32) {
    error = EINVAL;
    return nullptr;
  }
  std::string text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text += '.';
    text += std::to_string(address[i]);
  }
  if (bits != 32) text += "/" + std::to_string(bits);
  if (text.size() + 1 > size) {
    error = EMSGSIZE;
    return nullptr;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return buffer;
}

char* FormatIPv6(const uint8_t* address, uint32_t bits, char* buffer, size_t size, int& error) {
  if (bits > 128) {
    error = EINVAL;
    return nullptr;
  }
  uint16_t words[8];
  for (int i = 0; i < 8; ++i) {
    words[i] = static_cast<uint16_t>(address[2 * i] << 8 | address[2 * i + 1]);
  }
  ZeroRun run = LongestZeroRun(words);
  std::string text;
  char hex[8];
  for (int i = 0; i < 8; ++i) {
    if (InRun(run, i)) {
      if (i == run.base) text += ':';
      continue;
    }
    if (i > 0) text += ':';
    if (i == 6 && HasIPv4Tail(run, words)) {
      for (int b = 12; b < 16; ++b) {
        if (b > 12) text += '.';
        text += std::to_string(address[b]);
      }
      break;
    }
    std::snprintf(hex, sizeof hex, "%x", words[i]);
    text += hex;
  }
  if (run.base >= 0 && run.base + run.length == 8) text += ':';
  if (bits != 128) text += "/" + std::to_string(bits);
  if (text.size() + 1 > size) {
    error = EMSGSIZE;
    return nullptr;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return buffer;
}

char* network_out(Datum d, bool isCidr, uint8_t version) {
  const uint8_t* v = DatumPointer(d);
  if (!v) return nullptr;
  return GuardedOutput([&]() -> char* {
    InetFields f = LocateInet(v, version);
    char text[kAddressText];
    int error = EAFNOSUPPORT;
    char* done = nullptr;
    if (f.family == kFamilyIPv4 && f.available >= 4) {
      done = FormatIPv4(f.address, f.bits, text, sizeof text, error);
    } else if (f.family == kFamilyIPv6 && f.available >= 16) {
      done = FormatIPv6(f.address, f.bits, text, sizeof text, error);
    }
    if (!done) {
      LogFormat("network_out: could not format inet value: %s", std::strerror(error));
      throw ScratchException{0};
    }
    size_t length = std::strlen(text);
    if (isCidr && !std::strchr(text, '/')) {
      std::snprintf(text + length, sizeof text - length, "/%u", static_cast<unsigned>(f.bits));
    }
    return ScratchDup(text);
  });
}

char* inet_out82(Datum d) { return network_out(d, false, 82); }
char* inet_out83(Datum d) { return network_out(d, false, 83); }
char* cidr_out82(Datum d) { return network_out(d, true, 82); }
char* cidr_out83(Datum d) { return network_out(d, true, 83); }

char* macaddr_out(Datum d) {
  const uint8_t* m = DatumPointer(d);
  if (!m) return nullptr;
  return GuardedOutput([&] {
    char text[32];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
    return ScratchDup(text);
  });
}

}  // namespace vesk
