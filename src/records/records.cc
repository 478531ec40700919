#include "records/records.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "records/times.h"
#include "records/text.h"
#include "records/utf8.h"

namespace {

using records::Decode, records::IsPlain, records::kControlEscapes, records::kPlain;

constexpr std::size_t kOutBytes = 64 * 1024;  // handed to the file in blocks of this size
constexpr std::size_t kPromptBytes = 1024;    // the end of an unfinished line kept as the prompt
constexpr std::size_t kEchoBytes = 4096;      // a longer line's echo is left in the output
constexpr char kPasswordInput[] = "\"********\"";

using Clock = std::chrono::steady_clock;
using WallClock = std::chrono::system_clock;

}  // namespace

struct Records::Writer final : Stage {
  std::FILE* file = nullptr;
  bool failed = false;  // a write to file failed
  std::string_view lineEnd;
  const Secrets* secrets = nullptr;
  Secrets::Stream masked;  // what masking holds back of the host's text
  Secrets::Stream maskedEcho;  // the same of the line as sent

  std::vector<char> out = std::vector<char>(kOutBytes);
  std::size_t outCount = 0;  // out[0, outCount) waits for the file

  enum class Part { kNone, kInput, kOutput };
  Part part = Part::kNone;  // where the record being written has got to
  int lines = 0;            // lines begun so far: the number of the last record
  bool passwordLine = false;  // the record's input is shown as "********"
  bool firstOpened = false;  // the record for what came before the first line

  // The output's line ends: CR LF, CR CR LF, a lone CR, a lone LF end one line.
  records::Utf8 outputUtf8;
  records::Utf8 inputUtf8;
  int crs = 0;            // CRs seen after the last byte of a line, at most 2
  bool lineStart = true;  // nothing of the line being received has come yet
  bool skipLf = false;    // the last record ended on a CR: an LF next is its pair
  // The record's first line is dropped when it is the echo of the line:
  // echo[0, match) matched the output so far, which nothing else holds.
  // It is the line as sent, masked as the host's text is.
  struct Echo final : Stage {
    std::vector<char> bytes = std::vector<char>(kEchoBytes);
    std::size_t count = 0;  // the line's length; past kEchoBytes it is not looked for
    void Write(const char* piece, int n) override {
      const auto size = static_cast<std::size_t>(n);
      if (count + size <= bytes.size()) std::copy(piece, piece + n, bytes.data() + count);
      count += size;
    }
    void Note(Mark) override {}
  } echo;
  std::size_t match = 0;
  bool echoing = false;
  // A line's text and the keywords, checked and escaped.
  struct Input final : Stage {
    explicit Input(Writer& writer) : w(writer) {}
    void Write(const char* bytes, int n) override {
      auto emit = [this](unsigned char c) { w.PutEscaped(c); };
      for (int k = 0; k < n; ++k) w.inputUtf8.Push(static_cast<unsigned char>(bytes[k]), emit);
    }
    void Note(Mark) override {}
    Writer& w;
  } input{*this};
  // With --charset the host's text, the echo and the input go through a
  // Decode of their own; else straight on.
  std::optional<Decode> outputDecode, echoDecode, inputDecode;
  Stage* toOutput = this;
  Stage* toEcho = &echo;
  Stage* toInput = &input;
  // The line being received: at a prompt, the prompt; its older bytes go to
  // the output once it outgrows the buffer. Valid UTF-8.
  std::vector<char> pending = std::vector<char>(kPromptBytes);
  std::size_t pendingCount = 0;
  bool pendingPlain = true;  // pending holds no byte to escape

  Clock::time_point sessionStart;
  WallClock::time_point sessionWall;
  Clock::time_point recordStart;
  WallClock::time_point recordWall;

  void Put(char c) {
    if (outCount == out.size()) Drain();
    out[outCount++] = c;
  }
  void Put(const char* text) {
    while (*text != '\0') Put(*text++);
  }
  void PutEscaped(unsigned char c) {
    if (c < 0x20) return Put(kControlEscapes[c]);
    if (c == '"' || c == '\\') Put('\\');
    Put(static_cast<char>(c));
  }
  void PutRaw(const char* bytes, std::size_t n) {
    while (n > 0) {
      if (outCount == out.size()) Drain();
      const std::size_t take = std::min(n, out.size() - outCount);
      std::memcpy(out.data() + outCount, bytes, take);
      outCount += take;
      bytes += take;
      n -= take;
    }
  }
  // Valid UTF-8: runs that need no escape are copied whole.
  void PutEscaped(const char* bytes, std::size_t n) {
    const char* end = bytes + n;
    while (bytes < end) {
      const char* run = bytes;
      while (run < end && static_cast<unsigned char>(*run) >= 0x20 && *run != '"' && *run != '\\') ++run;
      PutRaw(bytes, static_cast<std::size_t>(run - bytes));
      if (run == end) break;
      PutEscaped(static_cast<unsigned char>(*run));
      bytes = run + 1;
    }
  }
  // A text of ravlo's own (ASCII, the same in every charset) or a keyword
  // (in the host's charset): valid UTF-8 made of it. Not while a line's input
  // is being written, whose checking it shares.
  void PutString(const char* text) {
    Put('"');
    toInput->Write(text, static_cast<int>(std::strlen(text)));
    FinishInput();
    Put('"');
  }
  void FinishInput() {
    if (inputDecode) inputDecode->Finish();
    inputUtf8.Finish([this](unsigned char c) { PutEscaped(c); });
  }
  void Drain() {
    if (outCount > 0 && std::fwrite(out.data(), 1, outCount, file) != outCount) failed = true;
    outCount = 0;
  }
  void FlushFile() {
    Drain();
    if (std::fflush(file) != 0) failed = true;
  }

  void PutTimes(WallClock::time_point wall, Clock::time_point since) {
    char text[96];
    records::FormatTimes(text, sizeof text, wall, Clock::now() - since);
    Put(text);
  }

  void OpenFirst() {
    firstOpened = true;
    recordStart = sessionStart;
    recordWall = sessionWall;
    Put("{\"n\":0,\"input\":null,\"output\":\"");
    part = Part::kOutput;
  }

  // The host's text, masked: checked, line ends made "\n", the echo dropped.
  void Feed(const char* bytes, int n) {
    if (part == Part::kInput) EndInput(false);
    if (part == Part::kNone) OpenFirst();
    auto emit = [this](unsigned char c) { OutputByte(c); };
    const char* end = bytes + n;
    while (bytes < end) {
      // The usual case, ASCII text in the middle of a line, goes by whole runs.
      if (!echoing && crs == 0 && !skipLf && outputUtf8.Idle()) {
        const char* run = bytes;
        while (run < end && IsPlain(*run)) ++run;
        if (run > bytes) {
          PendRun(bytes, static_cast<std::size_t>(run - bytes));
          bytes = run;
          continue;
        }
      }
      outputUtf8.Push(static_cast<unsigned char>(*bytes++), emit);
    }
  }
  void PendRun(const char* bytes, std::size_t n) {
    lineStart = false;
    while (n > 0) {
      if (pendingCount == pending.size()) Spill();
      const std::size_t take = std::min(n, pending.size() - pendingCount);
      std::memcpy(pending.data() + pendingCount, bytes, take);
      pendingCount += take;
      bytes += take;
      n -= take;
    }
  }
  void OutputByte(unsigned char c) {
    if (std::exchange(skipLf, false) && c == '\n') return;
    if (c == '\r') {
      if (crs == 2) LoneCr();  // the first of three
      crs = std::min(crs + 1, 2);
      return;
    }
    if (c == '\n') {
      crs = 0;
      return LineEnd();
    }
    for (; crs > 0; --crs) LoneCr();
    lineStart = false;
    if (echoing) {
      if (match < echo.count && static_cast<unsigned char>(echo.bytes[match]) == c) {
        ++match;
        return;
      }
      StopEcho();
    }
    Pend(c);
  }
  // A lone CR where a line has just begun ends no line: a shell's "\r" after
  // its own CR LF (where bracketed paste mode ends) would add an empty one.
  void LoneCr() {
    if (!lineStart) LineEnd();
  }
  void LineEnd() {
    lineStart = true;
    if (echoing && match == echo.count) {
      echoing = false;  // the echo, dropped with its line end
      return;
    }
    StopEcho();
    PutPending();
    Put("\\n");
  }
  // What matched of the echo is output after all.
  void StopEcho() {
    if (!echoing) return;
    echoing = false;
    for (std::size_t k = 0; k < match; ++k) Pend(static_cast<unsigned char>(echo.bytes[k]));
  }
  void PutPending() {
    if (pendingPlain) PutRaw(pending.data(), pendingCount);
    if (!pendingPlain) PutEscaped(pending.data(), pendingCount);
    pendingCount = 0;
    pendingPlain = true;
  }
  void Pend(unsigned char c) {
    if (c < 0x80 && !kPlain[c]) pendingPlain = false;
    if (pendingCount == pending.size()) Spill();
    pending[pendingCount++] = static_cast<char>(c);
  }
  // The older half of a full line goes out, cut where a character begins.
  void Spill() {
    std::size_t cut = pending.size() / 2;
    while (cut > 0 && (static_cast<unsigned char>(pending[cut]) & 0xC0) == 0x80) --cut;
    PutEscaped(pending.data(), cut);
    std::memmove(pending.data(), pending.data() + cut, pendingCount - cut);
    pendingCount -= cut;
  }

  void Line(const std::string& piece, std::string_view sent, bool more, bool password) {
    if (part != Part::kInput) {
      Close(true, false, nullptr);
      ++lines;
      recordStart = Clock::now();
      recordWall = WallClock::now();
      char text[48];
      std::snprintf(text, sizeof text, "{\"n\":%d,\"input\":%s", lines, password ? kPasswordInput : "\"");
      Put(text);
      passwordLine = password;
      if (echoDecode) echoDecode->Finish();  // of a line cut off by the host's text
      echo.count = 0;
      part = Part::kInput;
    }
    const std::size_t n = WithoutLineEnd(piece, more).size();
    const std::string_view echoed = WithoutLineEnd(sent, more);
    secrets->Mask(maskedEcho, echoed.data(), static_cast<int>(echoed.size()), *toEcho);
    if (!more) secrets->Flush(maskedEcho, *toEcho);
    if (!more && echoDecode) echoDecode->Finish();
    if (!passwordLine) toInput->Write(piece.data(), static_cast<int>(n));
    if (!more) EndInput(true);
  }
  // The last piece of a line without the line end it was given.
  std::string_view WithoutLineEnd(std::string_view piece, bool more) const {
    const std::size_t n = piece.size();
    const bool ends = !more && n >= lineEnd.size() && piece.compare(n - lineEnd.size(), lineEnd.size(), lineEnd) == 0;
    return piece.substr(0, ends ? n - lineEnd.size() : n);
  }
  // whole: the line went out to its end, so its echo can be looked for.
  void EndInput(bool whole) {
    FinishInput();
    Put(passwordLine ? ",\"output\":\"" : "\",\"output\":\"");
    echoing = whole && echo.count <= echo.bytes.size();
    match = 0;
    part = Part::kOutput;
  }

  // Ends the open record: at a prompt, the line being received is the prompt;
  // else it is output, and the record has none.
  // final: the session has ended, so a character left unfinished never will be.
  void Close(bool atPrompt, bool final, const char* keyword, int limit = 0) {
    if (part == Part::kInput) EndInput(false);
    if (part == Part::kNone) return;
    secrets->Flush(masked, *toOutput);
    if (final && outputDecode) outputDecode->Finish();
    if (final) outputUtf8.Finish([this](unsigned char c) { OutputByte(c); });
    if (crs > 0) {
      LoneCr();
      crs = 0;
      skipLf = true;
    }
    StopEcho();
    if (!atPrompt) PutPending();
    Put("\",\"prompt\":");
    if (atPrompt) {
      Put('"');
      PutPending();
      Put('"');
    } else {
      Put("null");
    }
    if (keyword != nullptr) {
      Put(",\"error\":");
      PutString(keyword);
    }
    if (limit != 0) {
      char text[32];
      std::snprintf(text, sizeof text, ",\"limit\":%d", limit);
      Put(text);
    }
    Put(',');
    PutTimes(recordWall, recordStart);
    Put("}\n");
    FlushFile();
    part = Part::kNone;
  }

  // The host's text, masked.
  void Write(const char* bytes, int n) override { Feed(bytes, n); }
  void Note(Mark) override {}
};

Records::Records() = default;
Records::~Records() { Close(); }

int Records::Open(const char* path, std::string_view lineEnd, const Secrets& secrets, int charset) {
  std::FILE* file = std::strcmp(path, "-") == 0 ? platform::DetachStdout() : std::fopen(path, "wb");
  if (file == nullptr) return -1;
  writer_ = std::make_unique<Writer>();
  writer_->file = file;
  writer_->lineEnd = lineEnd;
  writer_->secrets = &secrets;
  writer_->masked = secrets.NewStream();
  writer_->maskedEcho = secrets.NewStream();
  if (charset != 0) {
    Writer& w = *writer_;
    w.toOutput = &w.outputDecode.emplace(charset, w);
    w.toEcho = &w.echoDecode.emplace(charset, w.echo);
    w.toInput = &w.inputDecode.emplace(charset, w.input);
  }
  return 0;
}

void Records::Start() {
  if (!writer_) return;
  writer_->sessionStart = Clock::now();
  writer_->sessionWall = WallClock::now();
}

void Records::Write(const char* text, int n) {
  if (writer_) writer_->secrets->Mask(writer_->masked, text, n, *writer_->toOutput);
}

void Records::Line(const std::string& piece, std::string_view sent, bool more, bool password) {
  if (writer_) writer_->Line(piece, sent, more, password);
}

void Records::End(const Ending& ending) {
  if (!writer_) return;
  Writer& w = *writer_;
  // What came before the first line has a record once anything came.
  if (w.part == Writer::Part::kNone && !w.firstOpened && ending.received > 0) w.OpenFirst();
  w.Close(ending.atPrompt, true, ending.keyword, ending.limit);
  w.Put("{\"end\":");
  w.PutString(ending.kind);
  if (ending.keyword != nullptr) {
    w.Put(",\"keyword\":");
    w.PutString(ending.keyword);
  }
  char text[128];
  std::snprintf(text, sizeof text, ",\"status\":%d,\"lines\":%d,\"received\":%llu,\"sent\":%llu,", ending.status,
                w.lines, static_cast<unsigned long long>(ending.received),
                static_cast<unsigned long long>(ending.sent));
  w.Put(text);
  w.PutTimes(w.sessionWall, w.sessionStart);
  w.Put("}\n");
  w.FlushFile();
}

int Records::Close() {
  if (!writer_) return 0;
  writer_->Drain();
  const bool failed = writer_->failed || std::fflush(writer_->file) != 0 || std::ferror(writer_->file) != 0;
  const bool closed = std::fclose(writer_->file) == 0;
  writer_.reset();
  return failed || !closed ? -1 : 0;
}
