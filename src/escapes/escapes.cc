#include "escapes/escapes.h"

#include <cstring>
#include <utility>

namespace {
constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kBel = 0x07;

constexpr bool Within(unsigned char c, unsigned char low, unsigned char high) {
  return c >= low && c <= high;
}
}  // namespace

int EscapeFilter::Filter(const char* in, int n, char* out) {
  int count = 0;
  for (int i = 0; i < n; ++i) {
    // Text outside any sequence goes by whole runs, up to an ESC or a zero byte.
    if (state_ == State::kText) {
      int end = i;
      while (end < n && in[end] != static_cast<char>(kEsc) && in[end] != '\0') ++end;
      if (end > i) {
        std::memmove(out + count, in + i, static_cast<std::size_t>(end - i));
        count += end - i;
        afterCr_ = in[end - 1] == '\r';
        i = end - 1;
        continue;
      }
    }
    const unsigned char c = static_cast<unsigned char>(in[i]);
    const bool afterCr = std::exchange(afterCr_, c == '\r');
    if (Take(c) || (c == 0 && afterCr)) continue;
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
