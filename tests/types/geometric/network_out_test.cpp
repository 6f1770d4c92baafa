#include <gtest/gtest.h>

#include <cerrno>

#include "geometric_test_util.h"
#include "types/geometric/geometric_out.h"
#include "types/geometric/network_out.h"

namespace vesk {
namespace {

using testing::Bytes;
using testing::Header;
using testing::TextOf;
using testing::Varlena;

Bytes V4(uint8_t bits, std::initializer_list<uint8_t> address) {
  Bytes b{2, bits};
  b.insert(b.end(), address);
  return b;
}

Bytes V6(uint8_t bits, std::initializer_list<uint16_t> words) {
  Bytes b{3, bits};
  for (uint16_t w : words) {
    b.push_back(static_cast<uint8_t>(w >> 8));
    b.push_back(static_cast<uint8_t>(w & 0xff));
  }
  return b;
}

struct AddressCase {
  Bytes payload;
  const char* inet;
  const char* cidr;
};

const AddressCase kAddresses[] = {
    {V4(32, {192, 168, 0, 1}), "192.168.0.1", "192.168.0.1/32"},
    {V4(8, {10, 0, 0, 0}), "10.0.0.0/8", "10.0.0.0/8"},
    {V4(24, {192, 168, 1, 5}), "192.168.1.5/24", "192.168.1.5/24"},
    {V4(0, {0, 0, 0, 0}), "0.0.0.0/0", "0.0.0.0/0"},
    {V6(128, {0, 0, 0, 0, 0, 0, 0, 1}), "::1", "::1/128"},
    {V6(0, {0, 0, 0, 0, 0, 0, 0, 0}), "::/0", "::/0"},
    {V6(128, {0, 0, 0, 0, 0, 0, 0, 0}), "::", "::/128"},
    {V6(64, {0xfe80, 0, 0, 0, 0, 0, 0, 1}), "fe80::1/64", "fe80::1/64"},
    {V6(64, {0xfe80, 0, 0, 0, 0, 0, 0, 0}), "fe80::/64", "fe80::/64"},
    // Mapped and compatible forms keep their IPv4 tail; seven zero words do not.
    {V6(128, {0, 0, 0, 0, 0, 0xffff, 0x0a01, 0x0203}), "::ffff:10.1.2.3", "::ffff:10.1.2.3/128"},
    {V6(128, {0, 0, 0, 0, 0, 0, 0x0a01, 0x0203}), "::10.1.2.3", "::10.1.2.3/128"},
    {V6(128, {0, 0, 0, 0, 0, 0, 0, 2}), "::2", "::2/128"},
    {V6(128, {0, 0, 0, 0, 0, 0xfffe, 0x0a01, 0x0203}), "::fffe:a01:203", "::fffe:a01:203/128"},
    // The first of two equally long runs wins; a longer later run wins.
    {V6(128, {0x2001, 0xdb8, 0, 0, 1, 0, 0, 1}), "2001:db8::1:0:0:1", "2001:db8::1:0:0:1/128"},
    {V6(128, {1, 0, 0, 2, 0, 0, 0, 3}), "1:0:0:2::3", "1:0:0:2::3/128"},
    {V6(80, {0x2001, 0xdb8, 0, 0, 1, 0, 0, 0}), "2001:db8:0:0:1::/80", "2001:db8:0:0:1::/80"},
    // A single zero word is never shortened.
    {V6(128, {1, 0, 2, 3, 4, 5, 6, 7}), "1:0:2:3:4:5:6:7", "1:0:2:3:4:5:6:7/128"},
    {V6(32, {0x2001, 0xdb8, 0, 0, 0, 0, 0, 0}), "2001:db8::/32", "2001:db8::/32"},
    {V6(128, {0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff}),
     "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff/128"},
};

TEST(NetworkOut, InetAndCidrTextsInEveryLayout) {
  for (const auto& a : kAddresses) {
    EXPECT_EQ(TextOf(inet_out82, Varlena(Header::k82, a.payload)), a.inet);
    EXPECT_EQ(TextOf(cidr_out82, Varlena(Header::k82, a.payload)), a.cidr);
    for (Header h : {Header::k83Short, Header::k83Long}) {
      EXPECT_EQ(TextOf(inet_out83, Varlena(h, a.payload)), a.inet);
      EXPECT_EQ(TextOf(cidr_out83, Varlena(h, a.payload)), a.cidr);
    }
  }
}

TEST(NetworkOut, UnprintableValuesGiveNull) {
  const Bytes bad[] = {
      Bytes{7, 32, 1, 2, 3, 4},      // unknown family
      V4(33, {1, 2, 3, 4}),          // mask too long
      V6(129, {0, 0, 0, 0, 0, 0, 0, 1}),
      Bytes{2, 32, 1, 2},            // address cut short by the stored length
      Bytes{3, 128, 0, 0, 0, 0, 0},  // likewise for IPv6
      Bytes{2},                      // not even the mask length
  };
  for (const Bytes& payload : bad) {
    EXPECT_EQ(TextOf(inet_out82, Varlena(Header::k82, payload)), "<null>");
    EXPECT_EQ(TextOf(cidr_out83, Varlena(Header::k83Short, payload)), "<null>");
    EXPECT_EQ(TextOf(inet_out83, Varlena(Header::k83Long, payload)), "<null>");
  }
  // An out-of-line pointer header is not an address.
  EXPECT_EQ(TextOf(inet_out83, Bytes{0x01, 18, 2, 32, 1, 2, 3, 4}), "<null>");
  EXPECT_EQ(inet_out82(0), nullptr);
  EXPECT_EQ(macaddr_out(0), nullptr);
}

TEST(NetworkOut, FormattersReportTooSmallBuffers) {
  const uint8_t v4[4] = {255, 255, 255, 255};
  char buffer[64];
  int error = 0;
  EXPECT_EQ(FormatIPv4(v4, 24, buffer, 18, error), nullptr);
  EXPECT_EQ(error, EMSGSIZE);
  ASSERT_NE(FormatIPv4(v4, 24, buffer, 19, error), nullptr);
  EXPECT_STREQ(buffer, "255.255.255.255/24");

  const uint8_t v6[16] = {0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34};
  error = 0;
  EXPECT_EQ(FormatIPv6(v6, 128, buffer, 39, error), nullptr);
  EXPECT_EQ(error, EMSGSIZE);
  ASSERT_NE(FormatIPv6(v6, 64, buffer, 64, error), nullptr);
  EXPECT_STREQ(buffer, "1234:1234:1234:1234:1234:1234:1234:1234/64");
  EXPECT_EQ(FormatIPv6(v6, 200, buffer, 64, error), nullptr);
  EXPECT_EQ(error, EINVAL);
}

TEST(NetworkOut, MacAddresses) {
  EXPECT_EQ(TextOf(macaddr_out, Bytes{0x08, 0x00, 0x2B, 0x01, 0x02, 0x03}), "08:00:2b:01:02:03");
}

}  // namespace
}  // namespace vesk
