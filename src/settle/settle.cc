#include "settle/settle.h"

#include <algorithm>

namespace {
using std::chrono::duration_cast;
using std::chrono::microseconds;
}  // namespace

void SettleTime::NoteChunk(Clock::time_point arrived, Clock::time_point received, bool midLine) {
  if (midLine_) {
    // From the moment the last piece was in hand to the moment the next one came.
    const std::int64_t pauseUs = duration_cast<microseconds>(arrived - received_).count();
    if (pauseUs <= std::int64_t{kMostLearnedMs} * 1000) longestPauseUs_ = std::max(longestPauseUs_, pauseUs);
  }
  arrived_ = arrived;
  received_ = received;
  midLine_ = midLine;
}

void SettleTime::NoteSent(Sent what) {
  if (what == Sent::kReply) return;
  midLine_ = false;
  lineSent_ = lineSent_ || what == Sent::kLine;
}

int SettleTime::Ms() const {
  const std::int64_t learnedUs = std::min<std::int64_t>(longestPauseUs_ * kPauseFactor, kMostLearnedMs * 1000);
  int ms = static_cast<int>((learnedUs + 999) / 1000);
  if (!lineSent_) ms = std::max(ms, kFirstMs);
  return std::max(ms, leastMs_);
}

int SettleTime::LeftMs(Clock::time_point now) const {
  const std::int64_t quietUs = duration_cast<microseconds>(now - arrived_).count();
  const std::int64_t leftUs = std::int64_t{Ms()} * 1000 - quietUs;
  return leftUs <= 0 ? 0 : static_cast<int>((leftUs + 999) / 1000);
}
