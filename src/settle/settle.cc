#include "settle/settle.h"

#include <algorithm>
#include <cctype>

namespace {
using std::chrono::duration_cast;
using std::chrono::microseconds;

// Whole ms, rounded up: a wait cut short by a fraction would end too soon.
int CeilMs(std::int64_t us) { return static_cast<int>((us + 999) / 1000); }

// kPauseFactor times the longest pause, at most mostMs.
int LearnedMs(std::int64_t pauseUs, int mostMs) {
  return CeilMs(std::min<std::int64_t>(pauseUs * SettleTime::kPauseFactor, std::int64_t{mostMs} * 1000));
}
}  // namespace

void SettleTime::NoteChunk(Clock::time_point arrived, Clock::time_point received, bool midLine) {
  // From the moment the last piece was in hand to the moment the next one came.
  const std::int64_t pauseUs = duration_cast<microseconds>(arrived - received_).count();
  if (midLine_ && pauseUs <= std::int64_t{kMostLearnedMs} * 1000) longestPauseUs_ = std::max(longestPauseUs_, pauseUs);
  if (textSeen_ && !lineSent_) longestGreetingPauseUs_ = std::max(longestGreetingPauseUs_, pauseUs);
  arrived_ = arrived;
  received_ = received;
  midLine_ = midLine;
  textSeen_ = true;
}

void SettleTime::NoteSent(Sent what) {
  if (what == Sent::kReply) return;
  midLine_ = false;
  lineSent_ = lineSent_ || what == Sent::kLine;
}

int SettleTime::Ms() const {
  int ms = LearnedMs(longestPauseUs_, kMostLearnedMs);
  if (!lineSent_) ms = std::max({ms, kFirstMs, LearnedMs(longestGreetingPauseUs_, kFirstMostMs)});
  return std::max(ms, leastMs_);
}

int SettleTime::LeftMs(Clock::time_point now, Line line) const {
  const std::int64_t quietUs = duration_cast<microseconds>(now - arrived_).count();
  const int ms = line == Line::kKnown ? leastMs_ : line == Line::kMixed ? std::max(Ms(), kMixedMs) : Ms();
  const std::int64_t leftUs = std::int64_t{ms} * 1000 - quietUs;
  return leftUs <= 0 ? 0 : CeilMs(leftUs);
}

// A line of marks alone ("$ ", "# ", "> ", less's ":") starts too many lines
// of the host's output (a comment, a quote) to be trusted: only a prompt that
// names something (a host, a user, "login", "--More--") is learned. Bytes
// from 0x80 count as letters: a name in the host's own characters.
void KnownLines::Learn(std::string_view line) {
  const auto named = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || (c & 0x80) != 0; };
  if (std::none_of(line.begin(), line.end(), named) || Knows(line)) return;
  lines_[next_].assign(line);
  next_ = (next_ + 1) % lines_.size();
}

bool KnownLines::Knows(std::string_view line) const {
  if (line.empty()) return false;
  for (const std::string& known : lines_) {
    if (known == line) return true;
  }
  return false;
}
