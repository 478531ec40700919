#include "settle/settle.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Clock = SettleTime::Clock;
using std::chrono::milliseconds;

struct Piece {
  int pauseMs;   // after the last piece was received
  bool midLine;  // this piece's text leaves a line unfinished
  bool lineSentBefore;
};

// The settle time after each series of pieces, each received 1 ms after it came.
int SettleAfter(int leastMs, std::initializer_list<Piece> pieces) {
  SettleTime settle(leastMs);
  Clock::time_point received{};
  for (const Piece& piece : pieces) {
    if (piece.lineSentBefore) settle.NoteSent(SettleTime::Sent::kLine);
    const Clock::time_point arrived = received + milliseconds(piece.pauseMs);
    received = arrived + milliseconds(1);
    settle.NoteChunk(arrived, received, piece.midLine);
  }
  return settle.Ms();
}

TEST(SettleTime, LearnsFromMidLinePausesOnly) {
  EXPECT_EQ(SettleAfter(1, {{0, true, false}}), SettleTime::kFirstMs);
  EXPECT_EQ(SettleAfter(1, {{0, true, false}, {100, true, false}}), 300);  // past the first line's wait
  EXPECT_EQ(SettleAfter(1, {{0, false, false}, {90, true, true}}), 1);     // after a line end
  EXPECT_EQ(SettleAfter(1, {{0, true, false}, {90, true, true}}), 1);      // across a line sent
  EXPECT_EQ(SettleAfter(1, {{0, true, true}, {20, true, false}}), 60);
  EXPECT_EQ(SettleAfter(1, {{0, true, true}, {20, true, false}, {5, false, false}}), 60);  // the longest stays
  EXPECT_EQ(SettleAfter(1, {{0, true, true}, {500, true, false}}), SettleTime::kMostLearnedMs);
  EXPECT_EQ(SettleAfter(1, {{0, true, true}, {1500, true, false}}), 1);  // the host at work
  EXPECT_EQ(SettleAfter(400, {{0, true, true}, {20, true, false}}), 400);
  // Before the first line the greeting's pauses count at line ends too, up to kFirstMostMs.
  EXPECT_EQ(SettleAfter(1, {{0, false, false}, {40, true, false}}), 120);
  EXPECT_EQ(SettleAfter(1, {{0, false, false}, {400, false, false}}), SettleTime::kFirstMostMs);
  EXPECT_EQ(SettleAfter(1, {{400, false, false}}), SettleTime::kFirstMs);  // the wait for the first text
}

// A held prompt's wait as it came, after a line: a known line waits only
// --settle, a new one after output at least kMixedMs, or what was learned.
TEST(SettleTime, WaitsAsTheHeldLineDeserves) {
  using Line = SettleTime::Line;
  SettleTime settle(1);
  settle.NoteSent(SettleTime::Sent::kLine);
  const Clock::time_point start{}, later = start + milliseconds(20);
  settle.NoteChunk(start, start, true);
  EXPECT_EQ(settle.LeftMs(start, Line::kMixed), SettleTime::kMixedMs);
  settle.NoteChunk(later, later, true);  // a 20 ms pause mid-line: 60 ms learned
  EXPECT_EQ(settle.LeftMs(later, Line::kKnown), 1);
  EXPECT_EQ(settle.LeftMs(later, Line::kMixed), 60);
}

TEST(KnownLines, LearnsNamedLinesAndLetsTheOldestGo) {
  KnownLines known;
  for (const char* line : {"$ ", "# ", ":", "> ", ""}) known.Learn(line);
  for (const char* line : {"$ ", "# ", ":", "> ", ""}) EXPECT_FALSE(known.Knows(line)) << line;
  known.Learn("sw1# ");
  known.Learn("sw1# ");  // once only: it keeps its place
  for (int n = 0; n < 15; ++n) known.Learn("host" + std::to_string(n) + "$ ");
  EXPECT_TRUE(known.Knows("sw1# "));
  EXPECT_FALSE(known.Knows("sw1#"));
  known.Learn("\x83\x7a# ");  // a name in the host's own characters
  EXPECT_FALSE(known.Knows("sw1# "));
  EXPECT_TRUE(known.Knows("\x83\x7a# "));
  EXPECT_TRUE(known.Knows("host14$ "));
}

}  // namespace
