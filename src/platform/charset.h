// The host's own encodings (--charset), turned into UTF-8 by the system's
// converter. One source file per backend implements it; CMake picks it.
#pragma once

#include <memory>

namespace platform {

// The names --charset takes, as the help lists them; a charset is an index
// here. kCharsets[0], UTF-8, needs no converting.
constexpr const char* kCharsets[] = {"utf-8", "shift_jis", "euc-jp", "iso-8859-1", "windows-1252", "gbk", "big5"};
constexpr int kCharsetCount = static_cast<int>(sizeof kCharsets / sizeof kCharsets[0]);

// One stream of text in a charset other than UTF-8, converted to UTF-8.
class Decoder {
 public:
  // The most bytes Convert can make of n bytes, what it holds included.
  static constexpr int OutBytes(int n) { return 4 * (n + kHeldBytes); }

  explicit Decoder(int charset);  // 1 .. kCharsetCount - 1
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // False when the system cannot convert the charset.
  bool Ok() const;
  // Converts bytes[0, n) into out, which has room for OutBytes(n), and
  // returns the length made. A byte that does not convert becomes U+FFFD; a
  // character cut at the end is held for the next call. Allocates nothing.
  int Convert(const char* bytes, int n, char* out);
  // A character left unfinished becomes U+FFFD: the length put into out,
  // which has room for OutBytes(0).
  int Finish(char* out);

 private:
  static constexpr int kHeldBytes = 8;  // more than the longest character
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
