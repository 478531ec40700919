// The records' text: JSON's escapes, and the host's charset made UTF-8.
// Private to the records.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "platform/charset.h"
#include "stage/stage.h"

namespace records {

// JSON's escapes for the control bytes; other bytes of valid UTF-8 pass as they are.
constexpr const char* kControlEscapes[32] = {
    "\\u0000", "\\u0001", "\\u0002", "\\u0003", "\\u0004", "\\u0005", "\\u0006", "\\u0007",
    "\\b",     "\\t",     "\\n",     "\\u000b", "\\f",     "\\r",     "\\u000e", "\\u000f",
    "\\u0010", "\\u0011", "\\u0012", "\\u0013", "\\u0014", "\\u0015", "\\u0016", "\\u0017",
    "\\u0018", "\\u0019", "\\u001a", "\\u001b", "\\u001c", "\\u001d", "\\u001e", "\\u001f"};

// Bytes that stand in a JSON string as they are and need no other care here:
// ASCII but for the control bytes (CR, LF among them), the quote and the backslash.
constexpr std::array<bool, 256> kPlain = [] {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
  return plain;
}();

inline bool IsPlain(char c) { return kPlain[static_cast<unsigned char>(c)]; }

// Text in the host's charset made UTF-8 on its way to the next stage, a
// character cut between chunks kept whole. It comes after the masking, which
// finds a -k value in the bytes the environment holds.
class Decode final : public Stage {
 public:
  Decode(int charset, Stage& next)
      : decoder_(charset), out_(static_cast<std::size_t>(platform::Decoder::OutBytes(0))), next_(next) {}
  void Write(const char* bytes, int n) override {
    const auto size = static_cast<std::size_t>(platform::Decoder::OutBytes(n));
    if (out_.size() < size) out_.resize(size);  // grown to the largest chunk, once
    Pass(decoder_.Convert(bytes, n, out_.data()));
  }
  void Note(Mark mark) override { next_.Note(mark); }
  // A character left unfinished becomes U+FFFD.
  void Finish() { Pass(decoder_.Finish(out_.data())); }

 private:
  void Pass(int n) {
    if (n > 0) next_.Write(out_.data(), n);
  }
  platform::Decoder decoder_;
  std::vector<char> out_;
  Stage& next_;
};

}  // namespace records
