// Charsets on POSIX: the C library's iconv. Shift_JIS is code page 932, as
// Windows hosts and most Japanese devices write it: 0x5C is the backslash.
#include <errno.h>
#include <iconv.h>

#include <cstring>

#include "platform/charset.h"

namespace platform {
namespace {

constexpr const char* kIconvNames[kCharsetCount] = {"UTF-8",       "CP932", "EUC-JP", "ISO-8859-1",
                                                    "WINDOWS-1252", "GBK",   "BIG5"};
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

}  // namespace

struct Decoder::State {
  iconv_t converter = kNoConverter;
  char held[kHeldBytes] = {};  // the start of a character cut by the last call's end
  int heldCount = 0;

  char* out = nullptr;  // where the call's UTF-8 goes on, with room bytes left
  std::size_t room = 0;

  void Replace() {
    std::memcpy(out, kReplacement, 3);
    out += 3;
    room -= 3;
  }
  // Converts what it can of [*in, *in + *left): a byte that does not convert
  // is U+FFFD; a character cut at the end stays in *in, *left. ASCII is
  // itself in every charset here and is copied: iconv gets the rest, up to
  // two ASCII bytes in a row (after an ASCII byte a character begins, as no
  // lead byte is ASCII).
  void Run(char** in, std::size_t* left) {
    while (*left > 0) {
      const char* end = *in + *left;
      char* at = *in;
      while (at < end && static_cast<unsigned char>(*at) < 0x80) *out++ = *at++;
      room -= static_cast<std::size_t>(at - *in);
      char* stop = at;
      while (stop < end && (stop == at || static_cast<unsigned char>(stop[-1]) >= 0x80 ||
                            static_cast<unsigned char>(*stop) >= 0x80)) ++stop;
      *in = at;
      *left = static_cast<std::size_t>(end - at);
      std::size_t part = static_cast<std::size_t>(stop - at);
      const std::size_t after = *left - part;
      while (part > 0) {
        if (iconv(converter, in, &part, &out, &room) != static_cast<std::size_t>(-1)) break;
        if (errno == EINVAL && after == 0) {  // a character cut at the end
          *left = part;
          return;
        }
        Replace();  // EILSEQ, or a character cut inside; E2BIG cannot be, out is sized for the worst
        ++*in;
        --part;
      }
      *left = after;
    }
  }
};

Decoder::Decoder(int charset) : state_(std::make_unique<State>()) {
  state_->converter = iconv_open("UTF-8", kIconvNames[charset]);
}

Decoder::~Decoder() {
  if (state_->converter != kNoConverter) iconv_close(state_->converter);
}

bool Decoder::Ok() const { return state_->converter != kNoConverter; }

int Decoder::Convert(const char* bytes, int n, char* out) {
  State& s = *state_;
  s.out = out;
  s.room = static_cast<std::size_t>(OutBytes(n));
  char* in = const_cast<char*>(bytes);  // iconv's own signature; it only reads
  std::size_t left = static_cast<std::size_t>(n);
  // The held character first, completed a byte at a time.
  while (s.heldCount > 0 && left > 0) {
    s.held[s.heldCount++] = *in++;
    --left;
    char* held = s.held;
    std::size_t heldLeft = static_cast<std::size_t>(s.heldCount);
    s.Run(&held, &heldLeft);
    if (heldLeft == sizeof s.held) {  // never a character: its first byte goes
      s.Replace();
      ++held;
      --heldLeft;
    }
    std::memmove(s.held, held, heldLeft);
    s.heldCount = static_cast<int>(heldLeft);
  }
  s.Run(&in, &left);
  while (left >= sizeof s.held) {  // never a character, as above
    s.Replace();
    ++in;
    --left;
    s.Run(&in, &left);
  }
  std::memcpy(s.held + s.heldCount, in, left);
  s.heldCount += static_cast<int>(left);
  return static_cast<int>(s.out - out);
}

int Decoder::Finish(char* out) {
  State& s = *state_;
  if (s.heldCount == 0) return 0;
  s.heldCount = 0;
  iconv(s.converter, nullptr, nullptr, nullptr, nullptr);
  std::memcpy(out, kReplacement, 3);
  return 3;
}

}  // namespace platform
