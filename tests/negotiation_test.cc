#include "negotiation/negotiation.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

// The scripts themselves are checked byte for byte on the wire by the
// integration suite; here, only the conversion's edges.
TEST(HexString2Bin, ConvertsPairsOfDigitsWithinItsWorkArea) {
  struct Case {
    std::string hex;
    std::vector<int> bytes;
  } cases[] = {
      {"fffc01", {0xFF, 0xFC, 0x01}}, {"AbCd", {0xAB, 0xCD}},
      {"def", {0xDE, 0xF0}},  // odd length: padded with "0"
      {"zz7f", {0x00, 0x7F}},  // not a hex digit: 0
      {"", {}},
      {std::string(1000, 'f'), std::vector<int>(kMaxScriptBytes, 0xFF)},  // 254 characters read
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex.substr(0, 8));
    std::array<unsigned char, kMaxScriptBytes + 1> out{};
    out.fill(0xAA);  // to see that nothing past the count is written
    const int count = HexString2Bin(out.data(), c.hex.c_str());
    EXPECT_EQ(std::vector<int>(out.begin(), out.begin() + count), c.bytes);
    EXPECT_EQ(out[static_cast<std::size_t>(count)], 0xAA);
  }
}

}  // namespace
