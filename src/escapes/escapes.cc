#include "escapes/escapes.h"

#include <cstring>
#include <utility>

namespace {
constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kBel = 0x07;

constexpr bool Within(unsigned char c, unsigned char low, unsigned char high) {
  return c >= low && c <= high;
}

// The first c in [from, end), or end.
const char* Find(const char* from, const char* end, char c) {
  if (from == end) return end;  // an empty piece may have no storage at all
  const void* found = std::memchr(from, c, static_cast<std::size_t>(end - from));
  return found != nullptr ? static_cast<const char*>(found) : end;
}
}  // namespace

int EscapeFilter::Filter(const char* in, int n, char* out) {
  const char* const end = in + n;
  // The next ESC and CR at or after `at`, found again only once passed: plain
  // text between them is copied whole, at memory speed.
  const char* esc = Find(in, end, static_cast<char>(kEsc));
  const char* cr = Find(in, end, '\r');
  int count = 0;
  for (const char* at = in; at < end;) {
    if (state_ == State::kText && !afterCr_) {
      if (esc < at) esc = Find(at, end, static_cast<char>(kEsc));
      if (cr < at) cr = Find(at, end, '\r');
      const char* stop = esc < cr ? esc : cr;
      const std::size_t run = static_cast<std::size_t>(stop - at);
      std::memmove(out + count, at, run);
      count += static_cast<int>(run);
      at = stop;
      if (at == end) break;
    }
    const unsigned char c = static_cast<unsigned char>(*at++);
    const bool afterCr = std::exchange(afterCr_, c == '\r');
    if (Take(c)) {
      if (moveBack_) {
        moveBack_ = false;
        out[count++] = static_cast<char>(kEsc);
      }
      continue;
    }
    if (c == 0 && afterCr) continue;
    out[count++] = static_cast<char>(c);
  }
  return count;
}

bool EscapeFilter::Take(unsigned char c) {
  const State state = std::exchange(state_, State::kText);
  switch (state) {
    case State::kText:
      break;
    case State::kEscape:
      if (c == '[') state_ = State::kCsi;
      if (c == ']' || c == 'P' || c == 'X' || c == '^' || c == '_') state_ = State::kString;
      if (Within(c, 0x20, 0x2F)) state_ = State::kEscape;  // an intermediate byte: the final one follows
      if (Within(c, 0x20, 0x7E)) return true;
      break;
    case State::kCsi:
      if (Within(c, 0x20, 0x3F)) state_ = State::kCsi;
      if (c == 'D' && markMovesBack_) moveBack_ = true;
      if (Within(c, 0x20, 0x7E)) return true;
      break;
    case State::kString:
      if (c == kBel) return true;
      // A line end ends a string whose terminator never came.
      if (c == '\r' || c == '\n') break;
      state_ = c == kEsc ? State::kStringEscape : State::kString;
      return true;
    case State::kStringEscape:
      if (c == '\\') return true;
      state_ = State::kEscape;  // ESC ends the string and begins a sequence of its own
      return Take(c);
  }
  if (c != kEsc) return false;
  state_ = State::kEscape;
  return true;
}

void PageJoiner::Write(const char* text, int n) {
  const int erased = erasing_ ? Erase(text, n) : 0;
  PassMarked(text + erased, n - erased);
}

// Hold, piece by piece, with the ESC marks left out.
void PageJoiner::PassMarked(const char* text, int n) {
  const char* const end = text + n;
  for (const char* at = text;; ++at) {
    const char* mark = Find(at, end, static_cast<char>(kEsc));
    Hold(at, static_cast<int>(mark - at));
    if (mark == end) break;
    at = mark;
  }
}

void PageJoiner::Hold(const char* text, int n) {
  if (n == 0) return;
  const char* end = text + n;
  const char* lastLf = end;
  while (lastLf > text && lastLf[-1] != '\n') --lastLf;
  if (lastLf > text) {
    PassHeld();
    Out(text, static_cast<int>(lastLf - text));
    holding_ = true;
    text = lastLf;
  }
  const int rest = static_cast<int>(end - text);
  if (holding_ && heldLength_ + rest <= kHoldBytes) {
    std::memcpy(held_ + heldLength_, text, static_cast<std::size_t>(rest));
    heldLength_ += rest;
    return;
  }
  PassHeld();
  if (rest > 0) Out(text, rest);
  holding_ = false;
}

// Takes the erase bytes at the start of text and returns their count; the
// first other byte (or a full pending_) ends the erasing.
int PageJoiner::Erase(const char* text, int n) {
  int i = 0;
  for (; i < n && pendingLength_ < kHoldBytes; ++i) {
    const char c = text[i];
    const bool back = c == '\b' || c == static_cast<char>(kEsc);
    const bool pendingCr = pendingLength_ > 0 && pending_[pendingLength_ - 1] == '\r';
    if (back || c == '\r' || (c == ' ' && pendingCr)) pendingLength_ = 0;  // all pending erased
    if (c == '\r' || c == ' ') pending_[pendingLength_++] = c;
    if (!back && c != '\r' && c != ' ') break;
  }
  if (i < n || pendingLength_ == kHoldBytes) Settle(i < n && text[i] == '\n');
  return i;
}

// Ends the erasing: spaces after the last pending CR are the line's own
// indentation, and a last CR stays before a LF.
void PageJoiner::Settle(bool beforeLf) {
  int from = pendingLength_;
  while (from > 0 && pending_[from - 1] != '\r') --from;
  if (beforeLf && from > 0 && from == pendingLength_) --from;
  erasing_ = false;
  const int count = pendingLength_ - from;
  pendingLength_ = 0;
  Hold(pending_ + from, count);
}

void PageJoiner::Note(Mark mark) {
  if (mark == Mark::kAnswered || mark == Mark::kAnsweredLast) {
    heldLength_ = 0;
    pendingLength_ = 0;
    erasing_ = true;
  } else if (mark == Mark::kPrompt || mark == Mark::kEnd) {
    if (erasing_) Settle(false);
    PassHeld();
    PassBlanks();
  }
  if (mark == Mark::kAnsweredLast) {
    blankLines_ = 0;
    lineCr_ = false;
  }
  next_.Note(mark);
}

void PageJoiner::PassHeld() {
  const int n = std::exchange(heldLength_, 0);
  if (n > 0) Out(held_, n);
}

// Line by line: blank ones join the run kept back, anything else lets it go
// first. A run whose lines end differently goes before the next one starts.
// The lines between blank runs go on in one piece.
void PageJoiner::Out(const char* text, int n) {
  const char* const end = text + n;
  const char* pass = text;  // lines let through, not yet written
  while (text < end) {
    const char* lf = Find(text, end, '\n');
    const char* stop = lf == end ? end : lf + 1;
    const bool cr = lf - text == 1 && text[0] == '\r';
    const bool blank = lineBlank_ && (lf == text || (cr && !lineCr_));
    if (blank && pass < text) next_.Write(pass, static_cast<int>(text - pass));
    if (blank) pass = stop;
    if (blank && lf != end && blankLines_ > 0 && blankCr_ != (cr || lineCr_)) {
      const bool heldCr = std::exchange(lineCr_, false);  // this line's own
      PassBlanks();
      lineCr_ = heldCr;
    }
    if (blank && lf != end) {
      blankCr_ = cr || lineCr_;
      ++blankLines_;
      lineCr_ = false;
    } else if (blank) {
      lineCr_ = lineCr_ || cr;
    } else {
      PassBlanks();  // only when nothing waits to be written before it
      lineBlank_ = lf != end;
    }
    text = stop;
  }
  if (pass < end) next_.Write(pass, static_cast<int>(end - pass));
}

void PageJoiner::PassBlanks() {
  static constexpr char kCrLfs[] = "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";
  static constexpr char kLfs[] = "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n";
  constexpr int kPerWrite = 16;
  while (blankLines_ > 0) {
    const int count = blankLines_ < kPerWrite ? blankLines_ : kPerWrite;
    next_.Write(blankCr_ ? kCrLfs : kLfs, count * (blankCr_ ? 2 : 1));
    blankLines_ -= count;
  }
  if (lineCr_) next_.Write("\r", 1);
  lineCr_ = false;
}
