// How long the host must stay quiet before text that ends in a prompt is
// taken as one (-e). Console servers, serial lines and long links cut the
// host's text anywhere and pause between the pieces, so a piece that happens
// to end in "#" or "login: " is no prompt yet. The settle time follows the
// longest pause seen in the middle of a line: a clean link costs nothing more.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

class SettleTime {
 public:
  using Clock = std::chrono::steady_clock;

  // Before the first line a banner may still be coming, cut anywhere by the
  // link before any pause has been learned: wait at least this long, and
  // more (up to kFirstMostMs) as the greeting's own pauses, at line ends too,
  // show the link to be slow. A clean link greets without pauses.
  static constexpr int kFirstMs = 80;
  static constexpr int kFirstMostMs = 250;
  // A learned settle time is this many times the longest mid-line pause...
  static constexpr int kPauseFactor = 3;
  // ...and at most this long: a longer pause is the host at work (a progress
  // line), not the link; --settle sets more for links known to be slower.
  static constexpr int kMostLearnedMs = 1000;

  // leastMs: --settle, 1 by default (the pause every chunk gets anyway).
  explicit SettleTime(int leastMs = 1) : leastMs_(leastMs) {}

  // What went out, as the settle time sees it.
  enum class Sent : unsigned char {
    kReply,  // a script or an answer to the chunk just received: the pause before it was the link's
    kKey,    // a pager's key: the pause before the host's next text is its answer, not the link
    kLine,   // a command line: the same, and the first line's wait is over
  };

  // A chunk from the host: when the wait for it ended, when it had been
  // received, and whether its text leaves a line unfinished.
  void NoteChunk(Clock::time_point arrived, Clock::time_point received, bool midLine);
  void NoteSent(Sent what);

  // The line a held prompt ends, as its wait sees it.
  enum class Line : unsigned char {
    kKnown,  // it settled before as a prompt: it waits only --settle
    kWhole,  // it came whole, as a host writes its prompt (or a pager's or a question): the settle time
    kMixed,  // a new one at the end of a chunk of other text, as a line of output may end a
             // chunk when a busy host pauses: the settle time, and at least kMixedMs
  };
  static constexpr int kMixedMs = 30;

  // The settle time in force, in ms.
  int Ms() const;
  // How much longer the host must stay quiet, counted from the last chunk's
  // arrival; 0 once it has.
  int LeftMs(Clock::time_point now, Line line = Line::kWhole) const;

 private:
  int leastMs_;
  bool lineSent_ = false;
  bool midLine_ = false;  // the last text ended mid-line, and no line went out since
  std::int64_t longestPauseUs_ = 0;
  std::int64_t longestGreetingPauseUs_ = 0;  // between text chunks before the first line
  bool textSeen_ = false;
  Clock::time_point arrived_{};
  Clock::time_point received_{};
};

// The prompt lines (pager prompts and questions too) that have settled in
// this session. A host writes its prompt whole, and the same way each time: the
// same line, come whole again at the end of the text, is that prompt again and
// need not wait for the settle time. A few lines bound it, the oldest let go.
class KnownLines {
 public:
  void Learn(std::string_view line);
  bool Knows(std::string_view line) const;

 private:
  std::array<std::string, 16> lines_;
  std::size_t next_ = 0;
};
