// Console on POSIX: standard output is left binary, so the host's bytes and our
// own "\n" go out unchanged. Our texts follow the locale: Shift_JIS when its
// codeset is Shift_JIS or CP932, UTF-8 otherwise.
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>
#include <unistd.h>

#include <clocale>
#include <cstring>

#include "platform/platform.h"

namespace platform {
namespace {

bool LocaleIsShiftJis() {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset == nullptr) return false;
  for (const char* name : {"SHIFT_JIS", "SHIFT-JIS", "SJIS", "CP932", "WINDOWS-31J", "MS_KANJI"}) {
    if (strcasecmp(codeset, name) == 0) return true;
  }
  return false;
}

std::string ToShiftJis(const char* utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return utf8;
  std::string in(utf8);
  std::string out(in.size() * 2 + 1, '\0');
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  // Our texts all map; should one not, UTF-8 beats a cut message.
  if (done == static_cast<size_t>(-1)) return utf8;
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace

void ConsoleInit() { std::setlocale(LC_CTYPE, ""); }

std::string ConsoleText(const char* utf8) {
  return LocaleIsShiftJis() ? ToShiftJis(utf8) : std::string(utf8);
}

std::FILE* DetachStdout() {
  std::fflush(stdout);
  const int fd = dup(STDOUT_FILENO);
  if (fd < 0) return nullptr;
  std::FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) {
    close(fd);
    return nullptr;
  }
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}

}  // namespace platform
