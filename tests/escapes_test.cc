#include "escapes/escapes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <utility>

#include "collect.h"

namespace {

// Each input also cut in two at every position: sequences and CR NUL span the cut.
TEST(EscapeFilter, LeavesOutSequencesAndTheZeroOfCrNul) {
  using namespace std::string_literals;
  const std::pair<std::string, std::string> cases[] = {
      {"\x1b[?2004hls\x1b[0;32m$ \x1b[K\x1b[2 q\r\n", "ls$ \r\n"},  // CSI: paste, colour, erase, cursor
      {"\x1b]0;vm: ~\x07$ \x1b]8;;http://x/\x1b\\link.", "$ link."},  // strings up to BEL or ESC \ .
      {"\x1b=\x1b(Bok\x1b" "7\x1b]2;t\x1b[Kx", "okx"},                // ESC x, ESC ( B; ESC ends a string
      {"\0a\r\0b\r\r\0\0c"s, "\0a\rb\r\r\0c"s},                        // only the zero right after CR
      {"\x07x\x1b\r\n\x1b[1\ny\x1b]lost\rz", "\x07x\r\n\ny\rz"},       // a sequence ends at a byte it can't hold
      {"\x1b\x1b[Ka\xff\x1b\x9b" "b", "a\xff\x9b" "b"},                // ESC ESC; ESC and a byte past 0x7E
  };
  for (const auto& [in, out] : cases) {
    for (std::size_t cut = 0; cut <= in.size(); ++cut) {
      SCOPED_TRACE(testing::PrintToString(in) + " cut at " + std::to_string(cut));
      EscapeFilter filter;
      std::string got(in.size(), '?');
      int count = filter.Filter(in.data(), static_cast<int>(cut), got.data());
      count += filter.Filter(in.data() + cut, static_cast<int>(in.size() - cut), got.data() + count);
      EXPECT_EQ(got.substr(0, static_cast<std::size_t>(count)), out);
    }
  }
}

// Chunks as the host sends them; "|A" ends one that a pager answer follows,
// "|R" one after which the held line is let go. "/" ends what each chunk let out.
TEST(PageJoiner, LeavesOutAnsweredPromptsAndTheirErasingOnly) {
  const std::string longLine(PageJoiner::kHoldBytes + 1, '.');
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"a\r\nb", "c\r\nd|R"}, "a\r\n/bc\r\nd/"},
      {{"a\r\n --More-- |A", "\b\b  \b\b  x\r\n"}, "a\r\n/  x\r\n/"},
      {{"a\r\n\r:|A", "\r   ", "   \r", "b\r\n"}, "a\r\n///b\r\n/"},
      {{"s\r--More--\r(END)|A", "\r", "\n  |R"}, "//\r\n  /"},  // a CR before a LF stays
      {{"--More--|A", "   |R"}, "/   /"},                   // spaces that nothing erases are text
      {{longLine, "x"}, longLine + "/x/"},                  // too long to be a prompt: let go
      {{"ab", std::string(254, '.')}, "//"},                // held up to kHoldBytes...
      {{"ab", longLine}, "/ab" + longLine + "/"},           // ...then let go, in order
      {{"--More--|A", "x\r\n", "\bz\n"}, "/x\r\n/\bz\n/"},  // erasing ends at the first other byte
      {{"--More--|A", "\r|R"}, "//"},                       // a last CR erased by the end
      {{"--More--|A", "\nx\n"}, "/\nx\n/"},                 // nothing to erase
      {{"--More--|A", std::string(300, ' ') + "x\n"}, "/" + std::string(300, ' ') + "x\n/"},  // indentation
      // Blank lines wait for what follows: the last page's padding goes with its prompt...
      {{"c\r\nd\r\n\r\n\r\n", "--More--\r(END)|L", "$ |R"}, "c\r\nd\r\n//$ /"},
      {{"c\r\n\r\n", "--More--|A", "d\r\n"}, "c\r\n//\r\nd\r\n/"},  // ...no other page's
      {{"\n\r\n\r", "\n|R"}, "\n/\r\n\r\n/"},                        // mixed, a CR cut off: in order
  };
  for (const auto& [chunks, out] : cases) {
    SCOPED_TRACE(testing::PrintToString(chunks));
    Collect shown;
    PageJoiner joiner(shown);
    std::string got;
    std::size_t before = 0;
    for (std::string chunk : chunks) {
      const char mark = chunk.size() > 1 && chunk[chunk.size() - 2] == '|' ? chunk.back() : ' ';
      chunk.resize(chunk.size() - (mark == ' ' ? 0 : 2));
      joiner.Write(chunk.data(), static_cast<int>(chunk.size()));
      if (mark == 'A') joiner.Note(Mark::kAnswered);
      if (mark == 'L') joiner.Note(Mark::kAnsweredLast);
      if (mark == 'R') joiner.Note(Mark::kPrompt);
      got += shown.text.substr(std::exchange(before, shown.text.size())) + "/";
    }
    EXPECT_EQ(got, out);
  }
}

// A pager that erases its prompt with cursor moves back (ESC [ n D) and
// spaces, cut anywhere: the erasing is left out, the next page's indentation
// kept; elsewhere such a move is left out like any other sequence.
TEST(PageJoiner, ErasesWithCursorMovesBackCutAnywhere) {
  const std::string erase = "\x1b[16D" + std::string(16, ' ') + "\x1b[16D";
  const std::pair<std::string, std::string> cases[] = {
      {erase + "  out 2\r\n", "out 1\r\n  out 2\r\n"},
      {"\x1b[3C  out\x1b[D 2\r\n", "out 1\r\n  out 2\r\n"},
  };
  for (const auto& [after, out] : cases) {
    for (std::size_t cut = 0; cut <= after.size(); ++cut) {
      SCOPED_TRACE(testing::PrintToString(after) + " cut at " + std::to_string(cut));
      Collect shown;
      PageJoiner joiner(shown);
      EscapeFilter filter(true);
      std::string clean(after.size() + 16, '\0');
      const std::string pieces[] = {"out 1\r\n--More--", after.substr(0, cut), after.substr(cut)};
      for (const std::string& piece : pieces) {
        joiner.Write(clean.data(), filter.Filter(piece.data(), static_cast<int>(piece.size()), clean.data()));
        if (&piece == pieces) joiner.Note(Mark::kAnswered);  // after the prompt's chunk
      }
      joiner.Note(Mark::kEnd);
      EXPECT_EQ(shown.text, out);
    }
  }
}

}  // namespace
