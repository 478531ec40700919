#include "textmatch/textmatch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

struct PromptToken {
  const char* text;
  int mode;
};

// Tested in this order, every one of them: a later hit never undoes an earlier.
constexpr PromptToken kPromptTokens[] = {
    {"$ ", MATCH_ANYWHERE},      {"# ", MATCH_ANYWHERE}, {"login: ", MATCH_AT_END},
    {"]=> ", MATCH_AT_END},      {">> ", MATCH_ANYWHERE}, {">", MATCH_ANYWHERE},
    {"#", MATCH_ANYWHERE},       {"] ", MATCH_AT_END},
};

constexpr const char* kErrorKeywords[] = {"command not found", "Login incorrect"};

constexpr char kPasswordMask[] = "********";

// At the end of the text a router's "edge-rtr1> " counts too, where ">"
// alone is not at the end.
constexpr char kRouterToken[] = "> ";

// Devices ask for the user with these, not "login: "; also at the end only.
constexpr const char* kDeviceLoginTokens[] = {"Username: ", "Username:", "User Name: ", "User Name:",
                                              "UserName: ", "UserName:", "User: ", "User:"};

struct PagerPrompt {
  const char* text;
  PagerKey key;
};

// Found anywhere in the last, unfinished line: a pager's prompt goes on with a
// percentage, its keys or a closing mark.
constexpr PagerPrompt kPagerPrompts[] = {
    {"--More--", PagerKey::kSpace},          {"---(more", PagerKey::kSpace},
    {"---- More ----", PagerKey::kSpace},     {"-- MORE --", PagerKey::kSpace},
    {"<--- More --->", PagerKey::kSpace},     {"Press any key to continue", PagerKey::kSpace},
    {"Press <SPACE> to continue", PagerKey::kSpace}, {"More: <space>", PagerKey::kSpace},
    {"Press RETURN to continue", PagerKey::kLineEnd}, {"(END)", PagerKey::kQuit},
    // man's prompt for less, where the window is not known (a console server's pty).
    {"(press h for help or q to quit)", PagerKey::kSpace},
};

// less's own short prompt: a line that is nothing else.
constexpr char kLessPrompt[] = ":";

// Where pattern (not empty) occurs in the n bytes at text, or nullptr. Jumps
// to each occurrence of the first byte: on a full chunk this is tens of times
// faster than comparing at every position, and a pass has ~1 ms.
const char* Search(const char* text, std::size_t n, std::string_view pattern) {
  const std::size_t length = pattern.size();
  if (length > n) return nullptr;
  const char* end = text + (n - length) + 1;
  for (const char* at = text; at < end; ++at) {
    at = static_cast<const char*>(std::memchr(at, pattern[0], static_cast<std::size_t>(end - at)));
    if (at == nullptr) return nullptr;
    if (std::memcmp(at, pattern.data(), length) == 0) return at;
  }
  return nullptr;
}

}  // namespace

std::int32_t MatchText(const char* text, const char* pattern, int mode) {
  const std::size_t textLength = std::strlen(text);
  const std::size_t patternLength = std::strlen(pattern);
  if (patternLength > textLength) return -1;
  const std::size_t last = textLength - patternLength;
  if (mode == MATCH_AT_END) {
    return std::memcmp(text + last, pattern, patternLength) == 0 ? 0 : -1;
  }
  if (patternLength == 0) return 0;
  return Search(text, textLength, pattern) != nullptr ? 0 : -1;
}

const char* FindErrorKeyword(const char* text, const std::vector<const char*>& extra) {
  for (const char* keyword : kErrorKeywords) {
    if (MatchText(text, keyword, MATCH_ANYWHERE) == 0) return keyword;
  }
  for (const char* keyword : extra) {
    if (MatchText(text, keyword, MATCH_ANYWHERE) == 0) return keyword;
  }
  return nullptr;
}

const char* FindAtEnd(const char* text, const std::vector<const char*>& prompts) {
  for (const char* prompt : prompts) {
    if (MatchText(text, prompt, MATCH_AT_END) == 0) return prompt;
  }
  return nullptr;
}

void NormalizeChunk(char* work, int n) {
  work[n] = '\0';
  for (int i = 0; i < n; ++i) {
    if (work[i] == '\r') {
      // A bare CR (followed by NUL, or the chunk's last byte) leaves a "#",
      // which counts as a prompt.
      if (work[i + 1] == '\0') work[i + 1] = '#';
      work[i] = '!';
    }
    if (work[i] == '\n') work[i] = '&';
  }
  if (n > 0 && work[n] == '#') work[n + 1] = '\0';
}

std::int32_t CheckPrompt(char* text) {
  std::int32_t result = -1;
  for (const PromptToken& token : kPromptTokens) {
    if (MatchText(text, token.text, token.mode) == 0) result = 0;
  }
  if (MatchText(text, kPasswordToken, MATCH_ANYWHERE) == 0) {
    result = 0;
    std::fputs(kPasswordMask, stdout);
  }
  text[0] = '\0';
  return result;
}

const char* FindPromptToken(const char* text) {
  for (const PromptToken& token : kPromptTokens) {
    if (MatchText(text, token.text, token.mode) == 0) return token.text;
  }
  return MatchText(text, kPasswordToken, MATCH_ANYWHERE) == 0 ? kPasswordToken : nullptr;
}

PromptTail::PromptTail(const std::vector<const char*>& extraPrompts, const std::vector<const char*>& extraPagers,
                       const std::vector<std::string_view>& questions)
    : extra_(extraPrompts), pagers_(extraPagers), questions_(questions) {
  for (std::string_view question : questions_) {
    questionLineBytes_ = std::max(questionLineBytes_, static_cast<int>(question.size()));
  }
  std::size_t longest = static_cast<std::size_t>(questionLineBytes_);
  for (const PromptToken& token : kPromptTokens) longest = std::max(longest, std::strlen(token.text));
  for (const char* token : extra_) longest = std::max(longest, std::strlen(token));
  bytes_.resize(longest);
}

void PromptTail::BeginChunk() {
  atLineStart_ = !MidLine();
  chunkText_ = false;
  whole_ = true;
}

void PromptTail::Add(const char* text, int n) {
  for (const char* at = text; whole_ && at < text + n; ++at) {
    if (*at == '\r' || *at == '\n') {
      // A line of the chunk's own ended: output, unless the host's echo of
      // the line sent.
      whole_ = !chunkText_ || echoLine_;
      echoLine_ = chunkText_ = false;
      atLineStart_ = true;
    } else if (*at != ' ' && *at != '\t') {
      // A line begun in an earlier chunk came in pieces.
      whole_ = chunkText_ || atLineStart_ || echoLine_;
      chunkText_ = true;
    }
  }
  const int capacity = static_cast<int>(bytes_.size());
  if (n >= capacity) {
    std::copy(text + n - capacity, text + n, bytes_.begin());
    cut_ = cut_ || n > capacity || length_ > 0;
    length_ = capacity;
    return;
  }
  const int keep = std::min(length_, capacity - n);
  cut_ = cut_ || keep < length_;
  std::copy(bytes_.begin() + (length_ - keep), bytes_.begin() + length_, bytes_.begin());
  std::copy(text, text + n, bytes_.begin() + keep);
  length_ = keep + n;
}

bool PromptTail::EndsWith(const char* token) const {
  const std::size_t n = std::strlen(token);
  const std::size_t length = static_cast<std::size_t>(length_);
  return n <= length && std::memcmp(bytes_.data() + (length - n), token, n) == 0;
}

const char* PromptTail::Find() const {
  for (const PromptToken& token : kPromptTokens) {
    if (EndsWith(token.text)) return token.text;
  }
  for (const char* token : {kRouterToken, kPasswordToken}) {
    if (EndsWith(token)) return token;
  }
  for (const char* token : kDeviceLoginTokens) {
    if (EndsWith(token)) return token;
  }
  for (const char* token : extra_) {
    if (EndsWith(token)) return token;
  }
  return nullptr;
}

bool PromptTail::MidLine() const {
  return length_ > 0 && bytes_[length_ - 1] != '\r' && bytes_[length_ - 1] != '\n';
}

void PromptTail::Empty() {
  length_ = 0;
  cut_ = false;
  echoLine_ = true;
}

const char* PromptTail::Check() {
  const char* token = Find();
  if (token == kPasswordToken) std::fputs(kPasswordMask, stdout);
  if (token != nullptr) Empty();
  return token;
}

const char* PromptTail::CheckPager(PagerKey* key) {
  const char* found = FindPager(key);
  if (found != nullptr) Empty();
  return found;
}

int PromptTail::CheckQuestion() {
  const int found = FindQuestion();
  if (found >= 0) Empty();
  return found;
}

const char* PromptTail::LastLine(int bound, int* n) const {
  const char* line = bytes_.data() + length_;
  while (line > bytes_.data() && line[-1] != '\r' && line[-1] != '\n') --line;
  *n = static_cast<int>(bytes_.data() + length_ - line);
  // A line that began before the tail is longer than any text looked for.
  if (*n == 0 || *n > bound || (line == bytes_.data() && cut_)) return nullptr;
  return line;
}

std::string_view PromptTail::Line() const {
  int n = 0;
  const char* line = LastLine(length_, &n);
  if (line == nullptr || line == bytes_.data()) return {};
  return {line, static_cast<std::size_t>(n)};
}

int PromptTail::FindQuestion() const {
  int n = 0;
  const char* line = LastLine(questionLineBytes_, &n);
  for (std::size_t k = 0; line != nullptr && k < questions_.size(); ++k) {
    if (Search(line, static_cast<std::size_t>(n), questions_[k]) != nullptr) return static_cast<int>(k);
  }
  return -1;
}

const char* PromptTail::FindPager(PagerKey* key) const {
  int n = 0;
  const char* line = LastLine(kPagerLineBytes, &n);
  if (line == nullptr) return nullptr;
  *key = PagerKey::kSpace;
  const char* found = n == 1 && line[0] == kLessPrompt[0] ? kLessPrompt : nullptr;
  for (const PagerPrompt& pager : kPagerPrompts) {
    if (found == nullptr && Search(line, static_cast<std::size_t>(n), pager.text) != nullptr) {
      found = pager.text;
      *key = pager.key;
    }
  }
  for (const char* pager : pagers_) {
    if (found == nullptr && Search(line, static_cast<std::size_t>(n), pager) != nullptr) {
      found = pager;
      *key = PagerKey::kSpace;
    }
  }
  return found;
}
