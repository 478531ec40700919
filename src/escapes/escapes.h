// Terminal escape sequences, left out of the host's text for a plain
// transcript (-c) and for the prompt test at the end of the text (-e).
#pragma once

#include "stage/stage.h"

// Follows the host's stream across chunks, in a few bytes of state; nothing is
// allocated. Left out: CSI (ESC [, parameter and intermediate bytes, a final
// byte 0x40-0x7E), strings (ESC ] as in a window title, ESC P, ESC X, ESC ^,
// ESC _) up to BEL or ESC \, other ESC sequences (ESC, bytes 0x20-0x2F, a final
// byte 0x30-0x7E, such as ESC = or ESC ( B), and the zero byte of CR NUL.
class EscapeFilter {
 public:
  // markMovesBack: a cursor move back (ESC [ n D) leaves one ESC byte in the
  // text, for a PageJoiner to erase with; no other ESC byte ever stays.
  explicit EscapeFilter(bool markMovesBack = false) : markMovesBack_(markMovesBack) {}

  // Copies the n bytes at in that are text to out (room for n; may be in) and
  // returns how many. A sequence that meets a byte it cannot hold ends there,
  // and that byte is text: a stray ESC swallows at most the rest of a line.
  int Filter(const char* in, int n, char* out);

 private:
  enum class State : unsigned char { kText, kEscape, kCsi, kString, kStringEscape };
  bool Take(unsigned char c);  // true when c belongs to a sequence
  State state_ = State::kText;
  bool afterCr_ = false;  // the last byte seen was CR, in this chunk or the one before
  bool markMovesBack_;
  bool moveBack_ = false;  // the sequence Take just ended moved the cursor back
};

// Paged output as one piece (-c with -e): the last, unfinished line is held
// back, so that a pager's prompt in it, and the bytes that erase it once
// answered, never reach the next stage. Fed text without escape sequences, in
// which an ESC byte marks a cursor move back. Holds at most kHoldBytes;
// nothing is allocated, nothing is lost.
class PageJoiner final : public Stage {
 public:
  static constexpr int kHoldBytes = 256;

  explicit PageJoiner(Stage& next) : next_(next) {}

  // Passes the text on, but for the last unfinished line (after the last LF),
  // held until a LF follows or a kPrompt; a longer one is let go. After
  // kAnswered, backspaces and cursor moves back, CRs not before a LF, and
  // spaces before any of them are left out, up to the first other byte. An
  // ESC mark is never passed on. A run of blank lines is kept back until
  // other text follows: a pager pads its last page with them (more, to the
  // window's height), and kAnsweredLast leaves them out.
  void Write(const char* text, int n) override;

  // kAnswered: the held line ends in a pager's prompt: it goes, what a CR in
  // it let the prompt write over too; the erasing begins. kAnsweredLast: the
  // same, and the blank lines before it go. kPrompt, kEnd: what is held goes
  // on, and the erasing ends.
  void Note(Mark mark) override;

 private:
  void PassMarked(const char* text, int n);
  void Hold(const char* text, int n);
  int Erase(const char* text, int n);
  void Settle(bool beforeLf);
  void PassHeld();
  void Out(const char* text, int n);
  void PassBlanks();
  Stage& next_;
  int blankLines_ = 0;     // kept back, each "\r\n" (blankCr_) or "\n"
  bool blankCr_ = false;
  bool lineBlank_ = true;  // the line so far holds nothing, or a lone CR (lineCr_), kept back
  bool lineCr_ = false;
  char held_[kHoldBytes];
  int heldLength_ = 0;
  bool holding_ = true;   // false: the line grew past kHoldBytes, let go up to its LF
  char pending_[kHoldBytes];  // while erasing: spaces and CRs whose next byte decides
  int pendingLength_ = 0;
  bool erasing_ = false;
};
