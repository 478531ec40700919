// Terminal escape sequences, left out of the host's text for a plain
// transcript (-c) and for the prompt test at the end of the text (-e).
#pragma once

// Follows the host's stream across chunks, in a few bytes of state; nothing is
// allocated. Left out: CSI (ESC [, parameter and intermediate bytes, a final
// byte 0x40-0x7E), strings (ESC ] as in a window title, ESC P, ESC X, ESC ^,
// ESC _) up to BEL or ESC \, other ESC sequences (ESC, bytes 0x20-0x2F, a final
// byte 0x30-0x7E, such as ESC = or ESC ( B), and the zero byte of CR NUL.
class EscapeFilter {
 public:
  // Copies the n bytes at in that are text to out (room for n; may be in) and
  // returns how many. A sequence that meets a byte it cannot hold ends there,
  // and that byte is text: a stray ESC swallows at most the rest of a line.
  int Filter(const char* in, int n, char* out);

 private:
  enum class State : unsigned char { kText, kEscape, kCsi, kString, kStringEscape };
  bool Take(unsigned char c);  // true when c belongs to a sequence
  State state_ = State::kText;
  bool afterCr_ = false;  // the last byte seen was CR, in this chunk or the one before
};
