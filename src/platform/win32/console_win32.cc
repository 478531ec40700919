// Console on Windows: standard output stays a text-mode stream (every LF out
// as CR LF), and our texts are code page 932, whatever the console's page.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace platform {
namespace {

constexpr UINT kShiftJis = 932;

// Our texts all map; should one not, UTF-8 beats a cut message.
std::string ToShiftJis(const char* utf8) {
  const int wideCount = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (wideCount <= 0) return utf8;
  std::wstring wide(static_cast<std::size_t>(wideCount), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &wide[0], wideCount);
  const int count = WideCharToMultiByte(kShiftJis, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return utf8;
  std::string out(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(kShiftJis, 0, wide.c_str(), -1, &out[0], count, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(count) - 1);  // the counts include the terminating zero
  return out;
}

}  // namespace

void ConsoleInit() {}

std::string ConsoleText(const char* utf8) { return ToShiftJis(utf8); }

std::FILE* DetachStdout() {
  std::fflush(stdout);
  const int fd = _dup(_fileno(stdout));
  if (fd < 0) return nullptr;
  _setmode(fd, _O_BINARY);
  std::FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) {
    _close(fd);
    return nullptr;
  }
  if (std::freopen("NUL", "w", stdout) == nullptr) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}

}  // namespace platform
