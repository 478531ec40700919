#include "app/command_file.h"

#include <sys/stat.h>

namespace {
constexpr int kEndOfFileByte = 0x1A;
}

int CommandFile::Open(const char* path) {
  Close();
  // Binary read: the text-mode rules are applied here, the same everywhere.
  file_ = std::fopen(path, "rb");
  if (file_ == nullptr) return -1;
  struct stat info {};
  if (fstat(fileno(file_), &info) != 0 || S_ISDIR(info.st_mode)) {
    Close();
    return -1;
  }
  ended_ = false;
  return 0;
}

void CommandFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool CommandFile::ReadLine(std::string& line, bool& more) {
  line.clear();
  more = false;
  if (file_ == nullptr || ended_) return false;
  for (;;) {
    if (line.size() == kPieceBytes) {
      more = true;
      return true;
    }
    int c = std::getc(file_);
    if (c == EOF) break;
    if (c == kEndOfFileByte) {
      ended_ = true;
      break;
    }
    if (c == '\r') {
      int next = std::getc(file_);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, file_);
      }
    }
    if (c == '\n') {
      line += lineEnd_;  // two bytes long, it may end a piece one past kPieceBytes
      return true;
    }
    line.push_back(static_cast<char>(c));
  }
  if (std::ferror(file_)) return false;
  return !line.empty();
}

bool CommandFile::AtEnd() {
  if (file_ == nullptr || ended_) return true;
  const int c = std::getc(file_);
  if (c == EOF) return true;
  std::ungetc(c, file_);
  return c == kEndOfFileByte;
}
