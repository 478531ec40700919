#include "negotiation/negotiation.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

std::vector<int> Convert(const std::string& hex) {
  std::array<unsigned char, kMaxScriptBytes + 8> out{};
  out.fill(0xAA);  // to see that nothing past the count is written
  const int count = HexString2Bin(out.data(), hex.c_str());
  EXPECT_EQ(out[static_cast<std::size_t>(count)], 0xAA) << "wrote past its count";
  return std::vector<int>(out.begin(), out.begin() + count);
}

TEST(HexString2Bin, ConvertsPairsOfDigits) {
  struct Case {
    std::string hex;
    std::vector<int> bytes;
  } cases[] = {
      {"fffc01", {0xFF, 0xFC, 0x01}},
      {"def", {0xDE, 0xF0}},  // odd length: padded with "0"
      {"zz7f", {0x00, 0x7F}},  // not a hex digit: 0
      {"", {}},
      {"AbCd", {0xAB, 0xCD}},
      {"g1", {0x01}},
      {"7", {0x70}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    EXPECT_EQ(Convert(c.hex), c.bytes);
  }
}

TEST(HexString2Bin, StopsAtItsWorkArea) {
  EXPECT_EQ(Convert(std::string(254, 'f')).size(), 127u);
  EXPECT_EQ(Convert(std::string(1000, 'f')).size(), 127u);
}

// The scripts a session sends, in order, and the byte count of each.
TEST(NextNegotiationScript, GivesEachTypeItsScripts) {
  struct Case {
    TargetType type;
    std::vector<std::size_t> counts;
    std::vector<int> firstScriptHead;
  } cases[] = {
      {TargetType::kLinux, {21, 43, 3}, {0xFF, 0xFB, 0x1F}},
      {TargetType::kUnix, {24, 22}, {0xFF, 0xFB, 0x18}},
      {TargetType::kOther, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.counts.size());
    std::int32_t step = 0;
    std::vector<std::size_t> counts;
    std::vector<int> first;
    while (const char* script = NextNegotiationScript(c.type, step)) {
      const std::vector<int> bytes = Convert(script);
      if (counts.empty()) first.assign(bytes.begin(), bytes.begin() + 3);
      counts.push_back(bytes.size());
      ASSERT_EQ(static_cast<std::size_t>(step), counts.size());
      ASSERT_LE(counts.size(), 3u);
    }
    EXPECT_EQ(counts, c.counts);
    EXPECT_EQ(first, c.firstScriptHead);
    EXPECT_EQ(NextNegotiationScript(c.type, step), nullptr) << "the negotiation never restarts";
  }
}

TEST(NextNegotiationScript, WindowHeightDiffersByType) {
  // NAWS sub-negotiation: IAC SB 31 0 80 0 rows IAC SE.
  std::int32_t step = 1;
  const std::vector<int> linux2 = Convert(NextNegotiationScript(TargetType::kLinux, step));
  EXPECT_EQ(std::vector<int>(linux2.begin(), linux2.begin() + 9),
            (std::vector<int>{0xFF, 0xFA, 0x1F, 0, 80, 0, 24, 0xFF, 0xF0}));
  step = 0;
  const std::vector<int> unix1 = Convert(NextNegotiationScript(TargetType::kUnix, step));
  EXPECT_EQ(std::vector<int>(unix1.begin() + 6, unix1.begin() + 15),
            (std::vector<int>{0xFF, 0xFA, 0x1F, 0, 80, 0, 26, 0xFF, 0xF0}));
}

}  // namespace
