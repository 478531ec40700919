// Charsets on Windows: its code pages, through UTF-16. MultiByteToWideChar
// keeps nothing between calls, so a character cut at a chunk's end is held
// here, found by the code page's lead bytes.
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/charset.h"

namespace platform {
namespace {

// EUC-JP is 20932: 51932 is not one MultiByteToWideChar knows.
constexpr UINT kCodePages[kCharsetCount] = {CP_UTF8, 932, 20932, 28591, 1252, 936, 950};
constexpr UINT kEucJp = 20932;

// The length of the character that begins with c.
int CharLength(UINT codePage, unsigned char c) {
  if (codePage == kEucJp) return c == 0x8F ? 3 : c == 0x8E || (c >= 0xA1 && c <= 0xFE) ? 2 : 1;
  return IsDBCSLeadByteEx(codePage, c) ? 2 : 1;
}

}  // namespace

struct Decoder::State {
  UINT codePage = 0;
  bool ok = false;
  char held[kHeldBytes] = {};  // the start of a character cut by the last call's end
  int heldCount = 0;
  std::vector<char> joined;     // held and the chunk: grown to the largest chunk, once
  std::vector<wchar_t> wide;    // the same in UTF-16
};

Decoder::Decoder(int charset) : state_(std::make_unique<State>()) {
  CPINFO info;
  state_->codePage = kCodePages[charset];
  state_->ok = GetCPInfo(state_->codePage, &info) != 0;
}

Decoder::~Decoder() = default;

bool Decoder::Ok() const { return state_->ok; }

int Decoder::Convert(const char* bytes, int n, char* out) {
  State& s = *state_;
  const int total = s.heldCount + n;
  if (s.joined.size() < static_cast<std::size_t>(total)) {
    s.joined.resize(static_cast<std::size_t>(total));
    s.wide.resize(static_cast<std::size_t>(total));
  }
  std::memcpy(s.joined.data(), s.held, static_cast<std::size_t>(s.heldCount));
  if (n > 0) std::memcpy(s.joined.data() + s.heldCount, bytes, static_cast<std::size_t>(n));
  int whole = 0;
  for (int at = 0; at < total; whole = at) {
    at += CharLength(s.codePage, static_cast<unsigned char>(s.joined[static_cast<std::size_t>(at)]));
    if (at > total) break;
  }
  s.heldCount = total - whole;
  std::memcpy(s.held, s.joined.data() + whole, static_cast<std::size_t>(s.heldCount));
  if (whole == 0) return 0;
  const int units = MultiByteToWideChar(s.codePage, 0, s.joined.data(), whole, s.wide.data(), whole);
  return WideCharToMultiByte(CP_UTF8, 0, s.wide.data(), units, out, OutBytes(n), nullptr, nullptr);
}

int Decoder::Finish(char* out) {
  if (state_->heldCount == 0) return 0;
  state_->heldCount = 0;
  std::memcpy(out, "\xEF\xBF\xBD", 3);  // U+FFFD
  return 3;
}

}  // namespace platform
