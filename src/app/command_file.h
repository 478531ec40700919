// The command file, read line by line in text mode on every platform: CR LF
// ends a line as LF, a lone CR stays, and a 0x1A byte ends the file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

class CommandFile {
 public:
  CommandFile() = default;
  ~CommandFile() { Close(); }
  CommandFile(const CommandFile&) = delete;
  CommandFile& operator=(const CommandFile&) = delete;

  // 0 when the file is open for reading, -1 when it can't be (directories too).
  int Open(const char* path);
  void Close();

  // Lines are handed out in pieces of at most this many bytes, so a line of
  // any length (even an endless one, such as /dev/zero) needs no more memory.
  static constexpr std::size_t kPieceBytes = 64 * 1024;

  // What each line ends with in place of its LF: "\n" unless set. A line
  // without LF (the file's last) stays without. Kept as a view: a literal.
  void SetLineEnd(std::string_view lineEnd) { lineEnd_ = lineEnd; }

  // The next piece of the current line (or of the next line), its line end
  // included, zero bytes too; more is true when the line goes on in the next
  // piece. False at the end of the file (or at a read error) when no byte was left.
  bool ReadLine(std::string& piece, bool& more);

  // True when no line is left (the end, a 0x1A byte next, or a read error).
  // Looks one byte ahead, so on a pipe it waits for the writer.
  bool AtEnd();

 private:
  std::FILE* file_ = nullptr;
  bool ended_ = false;  // a 0x1A byte was read: nothing after it counts
  std::string_view lineEnd_ = "\n";
};
