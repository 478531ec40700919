#include "textmatch/textmatch.h"

#include <gtest/gtest.h>

#include "escapes/escapes.h"

#include <string>
#include <utility>
#include <vector>

namespace {

struct Examined {
  std::string text;  // after NormalizeChunk
  int prompt;
  std::string printed;
};

// A chunk down the loop's path: normalised in a reused work buffer whose
// stale bytes must never be examined, then tested for a prompt.
Examined Examine(const std::string& chunk) {
  std::vector<char> work(chunk.size() + 2, 'x');
  std::copy(chunk.begin(), chunk.end(), work.begin());
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
      {"abc", "", MATCH_AT_END, 0},        {"", "", MATCH_ANYWHERE, 0},
      {"ab", "abc", MATCH_ANYWHERE, -1},   {"xxabc", "abc", MATCH_AT_END, 0},
      {"abcxx", "abc", MATCH_AT_END, -1},  {"abcxx", "abc", 3, 0},
      {"xxabc", "abc", MATCH_ANYWHERE, 0}, {"ABC", "abc", MATCH_ANYWHERE, -1},
      {"aaaab", "aab", MATCH_ANYWHERE, 0}, {"abab", "bb", MATCH_ANYWHERE, -1},
      {"abc", "abc", MATCH_ANYWHERE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.pattern + " / mode " + std::to_string(c.mode));
    EXPECT_EQ(MatchText(c.text, c.pattern, c.mode), c.expected);
  }
}

// Every token in its place, the line-end marks, where the examined text
// ends, and the password mask.
TEST(CheckPrompt, RecognisesPromptsInNormalisedChunks) {
  struct Case {
    std::string chunk;
    const char* examined;
    int prompt;
    const char* printed;
  } cases[] = {
      {"user:~$ ", "user:~$ ", 0, ""},         {"host login: ", "host login: ", 0, ""},
      {"login:", "login:", -1, ""},            {"Last login: Mon", "Last login: Mon", -1, ""},
      {"<html>", "<html>", 0, ""},             {"#1 SMP", "#1 SMP", 0, ""},
      {"ok] ", "ok] ", 0, ""},                 {"] ok", "] ok", -1, ""},
      {"$", "$", -1, ""},                      {"", "", -1, ""},
      {"Password: ", "Password: ", 0, "********"}, {"Password:", "Password:", -1, ""},
      {"Enter password: $ ", "Enter password: $ ", 0, "********"},
      {"done\r", "done!#", 0, ""},             {"done\r\n", "done!&", -1, ""},
      {"a\nb\r\r", "a&b!!#", 0, ""},
      {std::string("a\r\0b", 4), "a!#b", 0, ""},   // Telnet's bare CR
      {std::string("ab\0cd\r", 6), "ab", -1, ""},  // a zero not after CR ends the text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.chunk));
    const Examined result = Examine(c.chunk);
    EXPECT_EQ(result.text, c.examined);
    EXPECT_EQ(result.prompt, c.prompt);
    EXPECT_EQ(result.printed, c.printed);
  }
}

// The loop's path with -e; each verdict ends in "|": the token and what it printed, or "-".
std::string Verdicts(const std::vector<std::string>& chunks) {
  EscapeFilter escapes;
  PromptTail tail({"Enter user name: "});
  std::string verdicts;
  for (const std::string& chunk : chunks) {
    std::vector<char> clean(chunk.size() + 1);
    tail.Add(clean.data(), escapes.Filter(chunk.data(), static_cast<int>(chunk.size()), clean.data()));
    testing::internal::CaptureStdout();
    const char* token = tail.Check();
    verdicts += (token != nullptr ? token : "-") + testing::internal::GetCapturedStdout() + "|";
  }
  return verdicts;
}

// Whole, followed by escape sequences, and cut anywhere: if the first part is no prompt, the whole decides.
TEST(PromptTail, FindsAPromptOnlyAtTheEndOfAllTextSinceTheLastLine) {
  using namespace std::string_literals;
  const std::pair<std::string, std::string> cases[] = {
      {"user@vm:~$ ", "$ "},  {"root@vm:~# ", "# "},  {"edge-rtr1> ", "> "},  {"cfg]=> ", "]=> "},
      {"Router#", "#"},  {"Router>", ">"},  {"vm login: ", "login: "},  {">>> ", ">> "},
      {"Password: ", "assword: ********"},
      {"Welcome to vm\r\nEnter user name: ", "Enter user name: "},  // longer than any own prompt
      {"\r\nUser Access Verification\r\n\r\nUsername: ", "Username: "},  {"sw1 User Name:", "User Name:"},
      {"UserName:", "UserName:"},  {"User: ", "User: "},  {"User: bob\r\n", "-"},  {"<b>bold</b> text", "-"},
      {"cost $ 5 only", "-"},  {"login: \r\n", "-"},  {"$ \0"s, "-"},  {"$ \r\0"s, "-"},
  };
  for (const auto& [text, verdict] : cases) {
    SCOPED_TRACE(testing::PrintToString(text));
    for (const char* after : {"", "\x1b[K", "\x1b[0m"}) EXPECT_EQ(Verdicts({text + after}), verdict + "|");
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
      const std::string verdicts = Verdicts({text.substr(0, cut), text.substr(cut)});
      if (verdicts.rfind("-|", 0) == 0) {
        EXPECT_EQ(verdicts, "-|" + verdict + "|") << "cut at " << cut;
      }
    }
  }
  // A prompt found is answered: what follows it stands alone.
  EXPECT_EQ(Verdicts({"Router#", "\x1b[K", "\r\nRouter#"}), "#|-|#|");
}

// A pager's prompt anywhere in the last line while it is unfinished and short,
// its key, and an empty tail after it; the line may come in two pieces.
TEST(PromptTail, FindsAPagerPromptInTheLastUnfinishedLine) {
  const std::string longLine(kPagerLineBytes, '.');
  const struct Case {
    std::string first, second;
    const char* pager;
    PagerKey key;
  } cases[] = {
      {"a\r\n --More", "-- ", "--More--", PagerKey::kSpace},
      {"x\r\n\x1b[7m", "(END)\x1b[27m", "(END)", PagerKey::kQuit},
      {"Press RETURN", " to continue ", "Press RETURN to continue", PagerKey::kLineEnd},
      {"log\r", "Next page...", "Next page", PagerKey::kSpace},  // an extra pager (-M)
      {"a\r\n", ":", ":", PagerKey::kSpace},  {"a\r\n", "b:", nullptr, PagerKey::kSpace},  // less's own
      {"--More--", "\r\n", nullptr, PagerKey::kSpace},             // the line ended
      {longLine, "--More--", nullptr, PagerKey::kSpace},            // too long to be a prompt
      {"\n" + longLine.substr(9), "--More--", "--More--", PagerKey::kSpace},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.first + c.second));
    PromptTail tail({}, {"Next page"});
    tail.Add(c.first.data(), static_cast<int>(c.first.size()));
    tail.Add(c.second.data(), static_cast<int>(c.second.size()));
    PagerKey key = PagerKey::kSpace;
    const char* found = tail.CheckPager(&key);
    EXPECT_STREQ(found, c.pager);
    if (found == nullptr) continue;
    EXPECT_EQ(key, c.key);
    EXPECT_EQ(tail.CheckPager(&key), nullptr) << "the tail is emptied";
  }
}

// Whether the last line came whole in the latest chunk, after a line went out.
TEST(PromptTail, TellsAPromptLineThatCameWholeFromOutputThatEndsAChunk) {
  const std::pair<std::vector<std::string>, bool> cases[] = {
      {{"out\r\nmore\r\n", "Router# "}, true},
      {{"sh\r\n", " \r\n\r\nsw1> "}, true},                 // blanks and line ends before it
      {{"conf", "ig t\r\nRouter(config)# "}, true},           // the rest of the host's echo before it
      {{"log\r\n", "out\r\nAuthor: r <r@x>"}, false},        // a line of output before it
      {{"log\r\nvm log", "in: "}, false}, {{"out\r\n"}, false},  // begun before; none
  };
  for (const auto& [chunks, whole] : cases) {
    PromptTail tail(std::vector<const char*>{});
    for (const std::string& chunk : chunks) {
      tail.BeginChunk();
      tail.Add(chunk.data(), static_cast<int>(chunk.size()));
    }
    EXPECT_EQ(tail.LineCameWhole(), whole) << testing::PrintToString(chunks);
  }
}

}  // namespace
