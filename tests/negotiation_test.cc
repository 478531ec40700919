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

// Each case: what ravlo's script said, then the host's chunks, each with the
// text that remains and the answers due.
TEST(TelnetFilter, AnswersEachRequestOnceAndKeepsCommandsOutOfTheText) {
  using Chunks = std::vector<std::vector<std::string>>;  // chunk, text, answers
  struct Case {
    const char* name;
    std::string script;
    Chunks chunks;
  } cases[] = {
      {"refuse, accept ECHO and SGA", "",
       {{"\xff\xfd\x18\xff\xfb\x05\xff\xfb\x01\xff\xfb\x03login: ", "login: ",
         "\xff\xfc\x18\xff\xfe\x05\xff\xfd\x01\xff\xfd\x03"}}},
      {"once per direction", "",
       {{"\xff\xfd\x01\xff\xfb\x01", "", "\xff\xfc\x01\xff\xfd\x01"}, {"\xff\xfd\x01\xff\xfb\x01$ ", "$ ", ""}}},
      {"replies to a script are no requests", "fffb1ffffd01fffc23",
       {{"\xff\xfd\x1f\xff\xfb\x01\xff\xfd\x23\xff\xfd\x18", "", "\xff\xfc\x18"}}},
      {"split across chunks", "", {{"ab\xff", "ab", ""}, {"\xfd", "", ""}, {"\x18" "cd", "cd", "\xff\xfc\x18"}}},
      {"IAC IAC, sub-negotiation, other commands", "",
       {{"\xff\xff|\xff\xfa\x18\x01\xff\xff\xfb\x01\xff\xf0|\xff\xf1\xff\xf9|", "\xff|||", ""}}},
      {"WONT and DONT need no answer", "", {{"\xff\xfc\x01\xff\xfe\x03.", ".", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TelnetFilter filter;
    std::array<unsigned char, kMaxScriptBytes> script{};
    filter.NoteSent(script.data(), HexString2Bin(script.data(), c.script.c_str()));
    for (const std::vector<std::string>& chunk : c.chunks) {
      std::string text = chunk[0];
      std::array<unsigned char, TelnetFilter::kMaxReplyBytes> reply{};
      int replyCount = -1;
      text.resize(static_cast<std::size_t>(filter.Filter(&text[0], static_cast<int>(text.size()), reply.data(), &replyCount)));
      EXPECT_EQ(text, chunk[1]);
      EXPECT_EQ(std::string(reply.begin(), reply.begin() + replyCount), chunk[2]);
    }
  }
}

}  // namespace
