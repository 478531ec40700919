// One JSON record per command line (-j): the line, what the host answered
// (cleaned, masked, made UTF-8 from its charset, with "\n" line ends) and the prompt that took the
// next line, written as the host's text comes: memory stays the same whatever
// the size of the output. The loop's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "stage/stage.h"
#include "secrets/secrets.h"

class Records final : public Stage {
 public:
  Records();
  ~Records();
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;

  // Opens path for writing, created or truncated; "-" is standard output,
  // which from then on holds only the records. lineEnd is what ends each line
  // sent (-L); every value of secrets, which must outlive this, is masked in
  // the host's text. The host's text, the lines and the keywords are in
  // charset (platform::kCharsets), converted to UTF-8 once masked. 0, or -1
  // when the file cannot be opened.
  int Open(const char* path, std::string_view lineEnd, const Secrets& secrets, int charset = 0);
  bool IsOpen() const { return writer_ != nullptr; }
  // The session begins now: the first record's and the end record's start.
  void Start();

  // The host's text, without escape sequences, in order.
  void Write(const char* text, int n) override;
  // The end comes with End.
  void Note(Mark) override {}
  // One piece of a line going out: as it stands in the command file, and as
  // sent (its ${NAME}s expanded), whose echo is left out; more: the line goes
  // on in the next piece. The first piece of a line ends the record before it
  // at its prompt. password: the line answers a password prompt.
  void Line(const std::string& piece, std::string_view sent, bool more, bool password);

  struct Ending {
    const char* kind;     // "file-done", "no-response", "error-keyword", ...
    const char* keyword;  // with "error-keyword": the keyword; else nullptr
    int status;           // what -s would give
    bool atPrompt;        // the last record ends at a prompt that found no line
    std::uint64_t received;
    std::uint64_t sent;
    int limit = 0;  // the last line ran out of a response limit of its own (-T): its seconds
  };
  // Ends the open record (with "prompt":null unless ending.atPrompt, and
  // "limit" with ending.limit) and writes the end record.
  void End(const Ending& ending);

  // Closes the file: 0 when every record was written, -1 when a write failed.
  int Close();

 private:
  struct Writer;
  std::unique_ptr<Writer> writer_;  // only while open: nothing is kept without -j
};
