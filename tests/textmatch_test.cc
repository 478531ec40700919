#include "textmatch/textmatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Runs a raw chunk through the same steps as the session loop: normalise,
// then look for a prompt. Returns the examined text and the prompt result.
struct Examined {
  std::string text;
  int prompt;
  std::string printed;
};

Examined Examine(const std::string& chunk) {
  std::vector<char> work(chunk.begin(), chunk.end());
  work.resize(chunk.size() + 2);
  NormalizeChunk(work.data(), static_cast<int>(chunk.size()));
  Examined result{work.data(), 0, ""};
  testing::internal::CaptureStdout();
  result.prompt = CheckPrompt(work.data());
  result.printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(work[0], '\0') << "CheckPrompt must empty the text";
  return result;
}

TEST(MatchText, FindsPatternsAnywhereOrAtTheEnd) {
  struct Case {
    const char* text;
    const char* pattern;
    int mode;
    int expected;
  } cases[] = {
      {"abc", "", MATCH_ANYWHERE, 0},      {"abc", "", MATCH_AT_END, 0},
      {"", "", MATCH_AT_END, 0},           {"ab", "abc", MATCH_ANYWHERE, -1},
      {"ab", "abc", MATCH_AT_END, -1},     {"abc", "abc", MATCH_AT_END, 0},
      {"abc", "abd", MATCH_ANYWHERE, -1},  {"xxabc", "abc", MATCH_AT_END, 0},
      {"abcxx", "abc", MATCH_AT_END, -1},  {"abcxx", "abc", MATCH_ANYWHERE, 0},
      {"xxabc", "abc", MATCH_ANYWHERE, 0}, {"aab", "ab", MATCH_ANYWHERE, 0},
      {"ABC", "abc", MATCH_ANYWHERE, -1},  {"abcxx", "abc", 1, 0},  // unknown mode: anywhere
      {"abcxx", "abc", 3, 0},
      // The search skips to each occurrence of the first byte.
      {"aaaab", "aab", MATCH_ANYWHERE, 0}, {"xyxyz", "xyz", MATCH_ANYWHERE, 0},
      {"xxxa", "ab", MATCH_ANYWHERE, -1},  {"abab", "bb", MATCH_ANYWHERE, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.pattern + " / mode " + std::to_string(c.mode));
    EXPECT_EQ(MatchText(c.text, c.pattern, c.mode), c.expected);
  }
}

TEST(NormalizeChunk, MakesLineEndsVisible) {
  struct Case {
    std::string chunk;
    std::string examined;
  } cases[] = {
      {"done\r", "done!#"},
      {"done\r\n", "done!&"},
      {"a\nb", "a&b"},
      {std::string("a\r\0b", 4), "a!#b"},  // Telnet's bare CR
      {std::string("ab\0cd\r", 6), "ab"},  // a zero not after CR ends the text
      {"\r\r", "!!#"},
      {"\n\r\n", "&!&"},
      {"plain", "plain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.chunk));
    EXPECT_EQ(Examine(c.chunk).text, c.examined);
  }
}

TEST(CheckPrompt, RecognisesPromptsInNormalisedChunks) {
  struct Case {
    std::string chunk;
    int prompt;
    const char* printed;
  } cases[] = {
      {"user:~$ ", 0, ""},
      {"Password: ", 0, "********"},
      {"password: ", 0, "********"},
      {"Password:", -1, ""},
      {"login:", -1, ""},
      {"host login: ", 0, ""},
      {"Last login: Mon", -1, ""},
      {"[root ~]# ", 0, ""},
      {"done\r", 0, ""},
      {"done\r\n", -1, ""},
      {std::string("ab\0cd\r", 6), -1, ""},
      {"<html>", 0, ""},
      {std::string("xyz\0# ", 6), -1, ""},
      {"ok] ", 0, ""},
      {"] ok", -1, ""},
      {"cfg]=> ", 0, ""},
      {"more >> next", 0, ""},
      {"$", -1, ""},
      {"", -1, ""},
      {"Enter Password: $ ", 0, "********"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.chunk));
    const Examined result = Examine(c.chunk);
    EXPECT_EQ(result.prompt, c.prompt);
    EXPECT_EQ(result.printed, c.printed);
  }
}

}  // namespace
