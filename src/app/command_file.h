// The command file, read line by line in text mode on every platform: CR LF
// ends a line as LF, a lone CR stays, and a 0x1A byte ends the file.
#pragma once

#include <cstdio>
#include <string>

class CommandFile {
 public:
  CommandFile() = default;
  ~CommandFile() { Close(); }
  CommandFile(const CommandFile&) = delete;
  CommandFile& operator=(const CommandFile&) = delete;

  // 0 when the file is open for reading, -1 when it can't be (directories too).
  int Open(const char* path);
  void Close();

  // The next line with its LF, of any length, zero bytes included. False at
  // the end of the file (or at a read error) when no byte was left.
  bool ReadLine(std::string& line);

 private:
  std::FILE* file_ = nullptr;
  bool ended_ = false;  // a 0x1A byte was read: nothing after it counts
};
