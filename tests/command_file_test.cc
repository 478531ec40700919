#include "app/command_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

// The file's lines, their pieces joined back; a piece never exceeds its bound.
std::vector<std::string> ReadAll(const std::string& content) {
  char path[] = "/tmp/ravlo_cmdfile_XXXXXX";
  std::FILE* f = fdopen(mkstemp(path), "wb");
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
  CommandFile file;
  EXPECT_EQ(file.Open(path), 0);
  std::vector<std::string> lines;
  std::string piece;
  bool more = false, continued = false;
  while (file.ReadLine(piece, more)) {
    EXPECT_LE(piece.size(), CommandFile::kPieceBytes);
    if (continued) {
      lines.back() += piece;
    } else {
      lines.push_back(piece);
    }
    continued = more;
  }
  EXPECT_FALSE(file.ReadLine(piece, more)) << "the end stays the end";
  std::remove(path);
  return lines;
}

TEST(CommandFile, ReadsLinesInTextMode) {
  const std::string piece(CommandFile::kPieceBytes, 'p');
  struct Case {
    std::string content;
    std::vector<std::string> lines;
  } cases[] = {
      {"user\r\npass\n", {"user\n", "pass\n"}},
      {"a\r\r\nb", {"a\r\n", "b"}},  // a lone CR stays; last line without line end
      {"a\n\x1a" "b\n", {"a\n"}},    // 0x1A ends the file
      {"ab\x1a" "cd\n", {"ab"}},     // text before it is the last line
      {"\n\n", {"\n", "\n"}},
      {"", {}},
      {"end\r", {"end\r"}},
      {std::string("a\0b\n", 4), {std::string("a\0b\n", 4)}},
      // Lines longer than a piece come back whole, whatever falls on the boundary.
      {piece + piece + "xy\nz", {piece + piece + "xy\n", "z"}},
      {piece, {piece}},
      {piece.substr(1) + "\r\nz", {piece.substr(1) + "\n", "z"}},
      {piece + "\x1a" "z", {piece}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.content.substr(0, 16)));
    EXPECT_EQ(ReadAll(c.content), c.lines);
  }
}

TEST(ReadNumber, ReadsLikeAtoiAndSaturates) {
  struct Case {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"  \t42", 42},  {"+7", 7},  {"-3", -3},  {"12abc", 12},  {"x", 0},  {"- 5", 0},
      {"2147483647", 2147483647},  {"2147483648", 2147483647},  {"-2147483648", -2147483647 - 1},
      {"-99999999999", -2147483647 - 1},  {"000000000000000000000000000005", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReadNumber(c.text), c.value);
  }
}

}  // namespace
