#include "escapes/escapes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Filtered(EscapeFilter& filter, const std::string& chunk) {
  std::string out(chunk.size(), '?');
  out.resize(static_cast<std::size_t>(filter.Filter(chunk.data(), static_cast<int>(chunk.size()), out.data())));
  return out;
}

// Each input also cut in two at every position: the filter's state carries
// any sequence, and a CR NUL, across the cut.
TEST(EscapeFilter, LeavesOutSequencesAndTheZeroOfCrNul) {
  using namespace std::string_literals;
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"\x1b[?2004hls\x1b[?2004l\r\n", "ls\r\n"},                 // bracketed paste
      {"\x1b[0;32muser\x1b[0m$ \x1b[K", "user$ "},                 // colours, erase to end of line
      {"\x1b]0;user@vm: ~\x07$ ", "$ "},                          // window title up to BEL
      {"\x1b]8;;http://x/\x1b\\link\x1b]8;;\x1b\\.", "link."},    // strings up to ESC \ .
      {"\x1b=\x1b>\x1b(Bok\x1b" "7", "ok"},                       // two bytes, and ESC ( B
      {"\x1b]2;t\x1b[Kx", "x"},                                   // ESC ends a string, begins a sequence
      {"\0a\r\0b\r\r\0\0c"s, "\0a\rb\r\r\0c"s},                   // only the zero right after CR
      {"\x07x\x1b\r\n\x1b[1\ny\x1b]lost\rz", "\x07x\r\n\ny\rz"},  // a sequence ends at a byte it can't hold
      {"\x1b\x1b[Ka\xff\x1b\x9b" "b", "a\xff\x9b" "b"},           // ESC ESC; ESC and a byte past 0x7E
  };
  for (const Case& c : cases) {
    for (std::size_t cut = 0; cut <= c.in.size(); ++cut) {
      SCOPED_TRACE(testing::PrintToString(c.in) + " cut at " + std::to_string(cut));
      EscapeFilter filter;
      const std::string first = Filtered(filter, c.in.substr(0, cut));
      EXPECT_EQ(first + Filtered(filter, c.in.substr(cut)), c.out);
    }
  }
}

}  // namespace
