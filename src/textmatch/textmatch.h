// What a received chunk means: error keywords and prompts. Plain byte
// operations on zero-terminated text; case-sensitive, no encodings.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

constexpr int MATCH_ANYWHERE = 0;
constexpr int MATCH_AT_END = 2;  // any other mode value means MATCH_ANYWHERE

// 0 when pattern occurs in text (at its end for MATCH_AT_END), -1 otherwise.
// An empty pattern is always found.
std::int32_t MatchText(const char* text, const char* pattern, int mode);

// Rewrites the n chunk bytes at the start of work so line ends become visible
// tokens: CR -> "!", LF -> "&", and a CR before a zero byte or at the end also
// leaves a "#". work must hold n + 2 bytes.
void NormalizeChunk(char* work, int n);

// The first error keyword the text holds, ravlo's own before extra, or nullptr.
const char* FindErrorKeyword(const char* text, const std::vector<const char*>& extra);

// The first of prompts that the text ends with, or nullptr.
const char* FindAtEnd(const char* text, const std::vector<const char*>& prompts);

// Leaves out the first letter so "Password: " and "password: " both match. A
// line sent at a prompt holding it is shown as "********".
inline constexpr char kPasswordToken[] = "assword: ";

// 0 when the text holds a prompt, -1 otherwise. Prints "********" to standard
// output for a password prompt, and always empties the text.
std::int32_t CheckPrompt(char* text);

// The first prompt token the text holds, the password token last, or nullptr
// when it holds none; the text is left as it is. For the trace.
const char* FindPromptToken(const char* text);

// The key that answers a pager's prompt: a space, the line end (-L), or "q".
enum class PagerKey : unsigned char { kSpace, kLineEnd, kQuit };

// The longest unfinished line that may hold a pager's prompt.
constexpr int kPagerLineBytes = 256;

// The end of what the host has sent since the last line went out, for the
// prompt test at the end of the text (-e): fed the text without escape
// sequences (and Telnet commands), compared as bytes, zero bytes included.
class PromptTail {
 public:
  PromptTail() = default;
  // Keeps as many bytes as the longest prompt needs, ravlo's own or one of
  // extraPrompts (non-empty texts), and at least the last kPagerLineBytes
  // or the longest question; the only allocation. extraPagers (non-empty) are
  // answered with a space; questions (non-empty) with what the caller says.
  explicit PromptTail(const std::vector<const char*>& extraPrompts,
                      const std::vector<const char*>& extraPagers = {},
                      const std::vector<std::string_view>& questions = {});

  // A chunk's text begins; Add gives it, in one piece or more.
  void BeginChunk();
  // Adds the n bytes at text to what has been sent since the last line.
  void Add(const char* text, int n);

  // The prompt that the text ends with, or nullptr: ravlo's own tokens, "> ",
  // the password token, a device's login prompt ("Username: ", "User Name:",
  // "UserName:", "User:", each with a blank or without), then extraPrompts.
  const char* Find() const;
  // True when the text leaves a line unfinished: it ends in neither CR nor LF.
  bool MidLine() const;

  // Find, and for the password token prints "********" to standard output.
  // A prompt found empties the tail: a line answers it.
  const char* Check();

  // The pager prompt that the last line holds while unfinished (after its last
  // CR or LF, at most kPagerLineBytes), or nullptr; its key in *key. A pager
  // prompt found empties the tail: what follows is the next page.
  const char* CheckPager(PagerKey* key);
  // The same with no effect.
  const char* FindPager(PagerKey* key) const;

  // The first question that the last line holds while unfinished, by its
  // index, or -1; a question found empties the tail, as a pager's prompt does.
  int CheckQuestion();
  int FindQuestion() const;

  // True when the latest chunk held the last, unfinished line whole, and
  // before it nothing but blanks, line ends and the end of the host's echo of
  // the line sent: the way a host writes its prompt once its output is done,
  // where a line of output that happens to end a chunk comes after others.
  bool LineCameWhole() const { return chunkText_ && whole_; }

  // The last line while unfinished, with the CR or LF before it still held
  // (so it is there from its start), or empty.
  std::string_view Line() const;

 private:
  bool EndsWith(const char* token) const;
  // The last line while unfinished and at most bound bytes, or nullptr.
  const char* LastLine(int bound, int* n) const;
  void Empty();
  std::vector<const char*> extra_;
  std::vector<const char*> pagers_;
  std::vector<std::string_view> questions_;
  int questionLineBytes_ = kPagerLineBytes;
  std::vector<char> bytes_;  // bytes_[0, length_) is the end of the text, at most bytes_.size()
  int length_ = 0;
  bool cut_ = false;  // text before bytes_ was let go since the tail was last emptied
  bool echoLine_ = true;     // no line has ended since the tail was last emptied
  bool atLineStart_ = true;  // the latest chunk began a line, or a line end came in it
  bool chunkText_ = false;   // ...its current line holds more than blanks
  bool whole_ = false;       // ...no line of output ended in it, and its lines began in it
};
