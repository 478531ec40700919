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

// Only a bare TERMINAL-TYPE SEND, after ravlo said WILL TERMINAL-TYPE (itself
// or by a script), gets the type; a host that asks for ever, 32 answers.
TEST(TelnetFilter, AnswersTheTypeToABareSendOnceOffered) {
  const std::string send = "\xff\xfa\x18\x01\xff\xf0", is = std::string("\xff\xfa\x18\x00vt100\xff\xf0", 11);
  std::string sends, answers;
  for (int i = 0; i < 40; ++i) sends += send;
  for (int i = 0; i < TelnetFilter::kMaxTypeAnswers; ++i) answers += is;
  struct Case {
    std::string script;
    std::vector<std::string> chunks;
    std::string replies;
  } cases[] = {
      {"", {send, "\xff\xfd\x18\xff\xfa", "\x18\x01\xff\xf0"}, "\xff\xfb\x18" + is},
      {"\xff\xfb\x18", {send}, is},
      {"\xff\xfc\x18", {send}, ""},
      {"\xff\xfb\x18", {"\xff\xfa\x18\x01\xff\xff\xff\xf0", "\xff\xfa\x18\x01\xff\xfb\xff\xf0"}, ""},
      {"\xff\xfb\x18", {sends, send}, answers},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.chunks[0]));
    TelnetFilter filter(80, 24, "vt100");
    filter.NoteSent(reinterpret_cast<const unsigned char*>(c.script.data()), static_cast<int>(c.script.size()));
    std::string replies;
    for (std::string chunk : c.chunks) {
      std::array<unsigned char, TelnetFilter::kMaxReplyBytes> reply{};
      int count = 0;
      EXPECT_EQ(filter.Filter(chunk.data(), static_cast<int>(chunk.size()), reply.data(), &count), 0);
      replies.append(reinterpret_cast<const char*>(reply.data()), static_cast<std::size_t>(count));
    }
    EXPECT_EQ(replies, c.replies);
  }
}

}  // namespace
