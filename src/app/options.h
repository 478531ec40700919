// The options that come before the five arguments, POSIX style.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// -A TEXT=REPLY: with -e, a question in the host's unfinished last line and
// its answer, which takes no line of the command file.
struct Answer {
  std::string_view question;  // not empty
  std::string_view reply;     // may be empty, may hold ${NAME}s of -k
};

// -T TEXT=SECONDS: the response limit after a line that begins with TEXT.
struct LineLimit {
  std::string_view text;  // not empty; as written in the command file
  std::int32_t seconds;   // 1..86400
};

// How ravlo reaches the host: HOST names a Telnet host, an SSH target
// ([USER@]HOST, through the system's ssh), a command line to run, or a serial
// device.
enum class Way : unsigned char { kTelnet, kSsh, kExec, kSerial };

struct Options {
  Way way = Way::kTelnet;                // --ssh, --exec: a program in a pseudo-terminal
  Way otherWay = Way::kTelnet;           // a second way given before way: refused
  std::int32_t serialBaud = 0;           // --serial BAUD: one of platform::kSerialRates
  std::vector<const char*> sshOptions;  // -o OPTION: passed to ssh as it is
  bool status = false;   // -s: the exit status tells how the session ended
  bool verbose = false;  // -v: a trace of the session on standard error
  bool version = false;  // -V
  bool help = false;     // -h
  std::uint16_t port = 23;            // -p PORT: 1..65535; Telnet's own port by default
  bool portGiven = false;             // -p was given: --ssh passes it on
  bool telnet = false;                // -t: a Telnet-aware session
  std::vector<const char*> prompts;   // -P TEXT: more prompts, matched at the end
  std::vector<const char*> keywords;  // -E TEXT: more error keywords, matched anywhere
  std::vector<const char*> secrets;   // -k NAME: environment variables that ${NAME} stands for
  std::int32_t connectSeconds = 0;    // -w SECONDS: 1..600; 0 without a connect limit
  bool promptAtEnd = false;           // -e: a prompt only at the end of all text since the last line
  std::string_view lineEnd = "\n";    // -L EOL: what ends each line sent, in place of its LF; -t: CR NUL
  bool lineEndGiven = false;          // -L was given: -t keeps it
  bool clean = false;                 // -c: escape sequences and CR NUL's zero left out of the transcript
  std::int32_t settleMs = 1;          // --settle MS: 1..10000, the least time the host stays quiet at a prompt (-e)
  const char* records = nullptr;      // -j FILE: one JSON record per command line; "-": standard output
  // --window COLSxROWS, --term TYPE: what -t tells a host that asks, and a
  // program's terminal (--ssh, --exec); 0x0 and nullptr ("none") refuse. Wide
  // enough not to wrap a line, tall enough that a router's listing does not
  // page, small enough for a full-screen program; no byte 255, which busybox
  // telnetd takes undoubled and leaks into the login.
  std::uint16_t windowColumns = 500, windowRows = 1000;
  const char* terminalType = "vt100";  // one every pager on a Unix host knows
  std::vector<const char*> pagers;     // -M TEXT: more pager prompts, answered with a space
  // --wake SECONDS: with -e, a line end sent when the host has shown no prompt
  // and stayed quiet this long before the first line (a console whose prompt
  // came before the connection); 0 ("none"): never. Not given: 2 s, but
  // never with --ssh, whose own questions come in their own time.
  std::int32_t wakeSeconds = kWakeNotGiven;
  std::vector<Answer> answers;  // -A TEXT=REPLY
  std::vector<LineLimit> lineLimits;  // -T TEXT=SECONDS
  std::int32_t deadlineSeconds = 0;   // --deadline SECONDS: 1..604800; 0: none
  bool keys = false;            // -K: ^C, ^Z, <BREAK> and the like in command lines are keys
  // --charset NAME: the charset of the host's text and of the command file,
  // which the records (-j) turn into UTF-8; an index in platform::kCharsets.
  int charset = 0;
  static constexpr std::int32_t kDefaultWakeSeconds = 2;
  static constexpr std::int32_t kWakeNotGiven = -1;
};

// Reads the options at the start of argv, up to the first argument that is
// not one or up to "--". Returns the index of the first positional argument,
// or -1 after printing one line naming the problem on standard error.
int ParseOptions(int argc, char** argv, Options& options);
