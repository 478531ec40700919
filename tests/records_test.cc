#include "records/records.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

// The records of a line (as written; sent with its ${NAME}s expanded)
// answered by the chunks, times left out.
std::string RecordsOf(Secrets& secrets, const std::vector<std::string>& chunks, const std::string& line = "echo hi",
                      int charset = 0) {
  // A file of each test's own: ctest runs them side by side, and two builds' tests may run at once.
  const std::string path = ::testing::TempDir() + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                           "-" + std::to_string(getpid()) + ".jsonl";
  {
    Records records;
    EXPECT_EQ(records.Open(path.c_str(), "\n", secrets, charset), 0);
    records.Start();
    records.Write("$ ", 2);
    records.Line(line + "\n", secrets.Expand(line + "\n"), false, false);
    for (const std::string& chunk : chunks) records.Write(chunk.data(), static_cast<int>(chunk.size()));
    records.End({"file-done", nullptr, 0, true, 1, 2});
    EXPECT_EQ(records.Close(), 0);
  }
  std::ifstream file(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  return std::regex_replace(text, std::regex(",\"start\":\"[-0-9T:.]+Z\",\"ms\":[0-9]+\\.[0-9]"), "");
}

// Each boundary of UTF-8's ranges, and the escapes: what reaches "output".
TEST(Records, Utf8CheckedAndEscaped) {
  const std::string kBad = "\xef\xbf\xbd";  // U+FFFD
  struct Case {
    std::string text, output;
  } cases[] = {
      {"\xc2\x80\xdf\xbf", "\xc2\x80\xdf\xbf"},
      {"\xc1\xbf", kBad + kBad},
      {"\xe0\xa0\x80\xed\x9f\xbf\xef\xbf\xbf", "\xe0\xa0\x80\xed\x9f\xbf\xef\xbf\xbf"},
      {"\xe0\x9f\xbf", kBad + kBad + kBad},
      {"\xed\xa0\x80", kBad + kBad + kBad},
      {"\xf0\x90\x80\x80\xf4\x8f\xbf\xbf", "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf"},
      {"\xf0\x8f\xbf\xbf", kBad + kBad + kBad + kBad},
      {"\xf4\x90\x80", kBad + kBad + kBad},
      {"\xf5\xe2\x82x", kBad + kBad + "x"},
      {"\x1f\x7f\"\\", "\\u001f\x7f\\\"\\\\"},
  };
  Secrets secrets;
  ASSERT_EQ(secrets.Load({}), nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string records = RecordsOf(secrets, {"echo hi\r\n" + c.text + "\r\n$ "});
    EXPECT_NE(records.find("\"output\":\"" + c.output + "\\n\",\"prompt\":\"$ \""), std::string::npos) << records;
  }
}

// Wherever a chunk ends, the records are the same: line ends, characters,
// masked values and the echo are followed across chunks. The echo of a line
// holding a value is the line as sent, and left out like any other. --charset
// (1: shift_jis, where 0x5C in 表 is no backslash; 2: euc-jp): the line, its
// echo and the output made UTF-8; a byte that does not convert and a character
// the session cut off are U+FFFD; the last line is the prompt.
TEST(Records, SameWhereverTheChunkIsCut) {
  setenv("RAVLO_TEST_PW", "S3cr=t!", 1);
  const std::string kBad = "\xef\xbf\xbd";
  const struct {
    int charset;
    std::string line, text, input, output;
  } cases[] = {
      {0, "echo hi", "echo hi\r\r\nS3cr=t!\r\r\nx\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xed\xa0\x80\xc3\r\rb\n\r$ ",
       "echo hi", "********\\nx\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80" + kBad + kBad + kBad + kBad +
           "\\nb\\n\",\"prompt\":\"$ "},
      {0, "echo hi", "echo h\r\n\"\\\x01\xff\xf4\x90\x80\x80\rS3cr=S3cr=t!\n\n", "echo hi",
       "echo h\\n\\\"\\\\\\u0001" + kBad + kBad + kBad + kBad + kBad + "\\nS3cr=********\\n\\n\",\"prompt\":\""},
      {0, "echo ${RAVLO_TEST_PW} | wc -c", "echo S3cr=t! | wc -c\r\n8\r\n$ ", "echo ${RAVLO_TEST_PW} | wc -c",
       "8\\n\",\"prompt\":\"$ "},
      {1, "echo \x95\\", "echo \x95\\\r\n\x93\xfa\x96{\x8c\xea \xb1\xb2\r\n\x81 x\x93", "echo \xe8\xa1\xa8",
       "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xef\xbd\xb1\xef\xbd\xb2\\n\",\"prompt\":\"" + kBad + " x" + kBad},
      {2, "echo \xc6\xfc", "echo \xc6\xfc\r\n\xc6\xfc\xcb\xdc\xb8\xec \x8e\xb1\xa1", "echo \xe6\x97\xa5",
       "\",\"prompt\":\"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e \xef\xbd\xb1" + kBad},
      {3, "echo \xe9", "echo \xe9\r\n\xe9\x80", "echo \xc3\xa9", "\",\"prompt\":\"\xc3\xa9\xc2\x80"},
      {4, "echo \x80", "echo \x80\r\n\xe9\x80\x81", "echo \xe2\x82\xac", "\",\"prompt\":\"\xc3\xa9\xe2\x82\xac" + kBad},
  };
  Secrets secrets;
  ASSERT_EQ(secrets.Load({"RAVLO_TEST_PW"}), nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string whole = RecordsOf(secrets, {c.text}, c.line, c.charset);
    EXPECT_NE(whole.find("\"input\":\"" + c.input + "\",\"output\":\"" + c.output + "\"}"),
              std::string::npos)
        << whole;
    for (std::size_t cut = 1; cut < c.text.size(); ++cut) {
      SCOPED_TRACE(cut);
      EXPECT_EQ(RecordsOf(secrets, {c.text.substr(0, cut), c.text.substr(cut)}, c.line, c.charset), whole);
    }
  }
}

}  // namespace
