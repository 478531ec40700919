#include "keys/keys.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Each key and Telnet command byte for byte; a line of keys alone loses its
// line end (CR LF here), a line with text keeps it.
TEST(Keys, SentAsTheBytesTheyStandFor) {
  using namespace std::string_literals;
  const struct {
    std::string line, bytes, names;
  } cases[] = {
      {"^@^a^Z^z^[^\\^]^^^_^?\r\n", "\x00\x01\x1a\x1a\x1b\x1c\x1d\x1e\x1f\x7f"s, "^@ ^a ^Z ^z ^[ ^\\ ^] ^^ ^_ ^?"},
      {"end^Z\r\n", "end\x1a\r\n", "^Z"},
      {"^1 a^ ^\r\n", "^1 a^ ^\r\n", ""},  // "^" before anything else, or last, as written
      {"^^C\r\n", "\x1e" "C\r\n", "^^"},
      {"\r\n", "\r\n", ""},
      {"^C", "\x03", "^C"},  // the last line, without a line end
      {"<BREAK>\r\n", "\xff\xf3", "<BREAK>"},  {"<IP>\r\n", "\xff\xf4", "<IP>"},
      {"<AO>\r\n", "\xff\xf5", "<AO>"},        {"<AYT>\r\n", "\xff\xf6", "<AYT>"},
      {"<NOP>\r\n", "\xff\xf1", "<NOP>"},      {"<BREAK> \r\n", "<BREAK> \r\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string out, names;
    TranslateKeys(c.line, "\r\n", out, names);
    EXPECT_EQ(out, c.bytes);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(TelnetCommand(c.line, "\r\n") != nullptr, c.bytes[0] == '\xff');
  }
}

}  // namespace
